<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>CAboutDlg</name>
    <message>
        <source>Kelvaneのﾊﾞｰｼﾞｮﾝ情報</source>
        <translation>About Kelvane</translation>
    </message>
    <message>
        <source>Kelvane Version 2</source>
        <translation>Kelvane Version 2</translation>
    </message>
    <message>
        <source>(C) 1997-2025 Orvell Craft</source>
        <translation>(C) 1997-2025 Orvell Craft</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>CMainFrame</name>
    <message>
        <source>次の句へ</source>
        <translation type="vanished">Next Phrase</translation>
    </message>
    <message>
        <source>前の句へ</source>
        <translation type="vanished">Previous Phrase</translation>
    </message>
    <message>
        <source>この句を繰り返す</source>
        <translation type="vanished">Repeat This Phrase</translation>
    </message>
    <message>
        <source>速さ</source>
        <translation type="vanished">Speed</translation>
    </message>
    <message>
        <source>ふりがな</source>
        <translation type="vanished">Readings</translation>
    </message>
    <message>
        <source>かな</source>
        <translation type="vanished">Kana</translation>
    </message>
    <message>
        <source>ローマ字</source>
        <translation type="vanished">Romaji</translation>
    </message>
    <message>
        <source>音声の録音...</source>
        <translation type="vanished">Record Voice...</translation>
    </message>
    <message>
        <source>Kelvane</source>
        <translation>Kelvane</translation>
    </message>
    <message>
        <source>ﾌｧｲﾙ(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>読経</source>
        <translation>Recitation</translation>
    </message>
    <message>
        <source>言語</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>ﾍﾙﾌﾟ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>画像の設定(&amp;P)</source>
        <translation>Background &amp;Picture...</translation>
    </message>
    <message>
        <source>読経するときに表示する画像</source>
        <translation>Chooses the picture shown while reciting</translation>
    </message>
    <message>
        <source>ｱﾌﾟﾘｹｰｼｮﾝの終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>開始(&amp;S)</source>
        <translation>&amp;Start</translation>
    </message>
    <message>
        <source>読経を開始します</source>
        <translation>Starts the recitation</translation>
    </message>
    <message>
        <source>読経を開始</source>
        <translation>Start Recitation</translation>
    </message>
    <message>
        <source>停止(T)</source>
        <translation>S&amp;top</translation>
    </message>
    <message>
        <source>読経を停止します</source>
        <translation>Stops the recitation</translation>
    </message>
    <message>
        <source>読経を停止</source>
        <translation>Stop Recitation</translation>
    </message>
    <message>
        <source>最大化する(&amp;M)</source>
        <translation>&amp;Maximize While Reciting</translation>
    </message>
    <message>
        <source>読経のときウィンドーを最大化</source>
        <translation>Maximizes the window while reciting</translation>
    </message>
    <message>
        <source>読経時に最大化</source>
        <translation>Maximize While Reciting</translation>
    </message>
    <message>
        <source>繰り返す(&amp;R)</source>
        <translation>&amp;Repeat</translation>
    </message>
    <message>
        <source>繰り返す</source>
        <translation>Repeat</translation>
    </message>
    <message>
        <source>ﾄﾋﾟｯｸの検索(&amp;H)</source>
        <translation>&amp;Help Topics</translation>
    </message>
    <message>
        <source>ﾊﾞｰｼﾞｮﾝ情報(&amp;A)...</source>
        <translation>&amp;About Kelvane...</translation>
    </message>
    <message>
        <source>ﾊﾞｰｼﾞｮﾝ情報</source>
        <translation>About Kelvane</translation>
    </message>
    <message>
        <source>ﾍﾙﾌﾟ</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>システムの言語を使う</source>
        <translation>Use the System Language</translation>
    </message>
    <message>
        <source>日本語</source>
        <translation>日本語</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>画像ファイルの設定</source>
        <translation>Choose a Background Picture</translation>
    </message>
    <message>
        <source>画像ﾌｧｲﾙ (*.bmp)</source>
        <translation>Bitmap pictures (*.bmp)</translation>
    </message>
    <message>
        <source>ﾂｰﾙﾊﾞｰ</source>
        <translation>Toolbar</translation>
    </message>
    <message>
        <source>ファイル名の読み込みでエラー #%1 が発生しました</source>
        <translation>Error #%1 occurred while reading the file name.</translation>
    </message>
</context>
<context>
    <name>CWaveBuffer</name>
    <message>
        <source>pecified device handle is invalid.</source>
        <translation>The specified device handle is invalid.</translation>
    </message>
    <message>
        <source>No device driver is present.</source>
        <translation>No device driver is present.</translation>
    </message>
    <message>
        <source>Unable to allocate or lock memory.</source>
        <translation>Unable to allocate or lock memory.</translation>
    </message>
</context>
</TS>
