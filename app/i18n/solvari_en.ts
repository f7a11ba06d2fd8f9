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
    <message>
        <source>ふりがな（かな・ローマ字）で読み方を表示できます</source>
        <translation>Readings can be shown in kana or romaji</translation>
    </message>
</context>
<context>
    <name>CMainFrame</name>
    <message>
        <source>次の句へ</source>
        <translation>Next Phrase</translation>
    </message>
    <message>
        <source>前の句へ</source>
        <translation>Previous Phrase</translation>
    </message>
    <message>
        <source>この句を繰り返す</source>
        <translation>Repeat This Phrase</translation>
    </message>
    <message>
        <source>速さ</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>ふりがな</source>
        <translation>Readings</translation>
    </message>
    <message>
        <source>かな</source>
        <translation>Kana</translation>
    </message>
    <message>
        <source>ローマ字</source>
        <translation>Romaji</translation>
    </message>
    <message>
        <source>音声の録音...</source>
        <translation>Record Voice...</translation>
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
    <message>
        <source>なし</source>
        <translation>None</translation>
    </message>
    <message>
        <source>読み方を表示しません</source>
        <translation>Shows no readings</translation>
    </message>
    <message>
        <source>文字の読み方をかなで横に表示します</source>
        <translation>Shows each character&apos;s reading in kana beside it</translation>
    </message>
    <message>
        <source>文字の読み方をローマ字で横に表示します</source>
        <translation>Shows each character&apos;s reading in romaji beside it</translation>
    </message>
    <message>
        <source>自分の声や先生の声を句ごとに録音します</source>
        <translation>Records your own voice or your teacher&apos;s, phrase by phrase</translation>
    </message>
    <message>
        <source>録音した声で読経(&amp;V)</source>
        <translation>Recite with Recorded &amp;Voice</translation>
    </message>
    <message>
        <source>録音した句は録音した声で読経します</source>
        <translation>Recites the phrases you have recorded in the recorded voice</translation>
    </message>
    <message>
        <source>最初の句から</source>
        <translation>Back to the First Phrase</translation>
    </message>
    <message>
        <source>開始/停止</source>
        <translation>Start/Stop</translation>
    </message>
    <message>
        <source>%1 %</source>
        <translation>%1%</translation>
    </message>
    <message>
        <source>写真・画像ﾌｧｲﾙ (%1)</source>
        <translation>Photos and pictures (%1)</translation>
    </message>
    <message>
        <source>木魚</source>
        <translation>Wooden Fish</translation>
    </message>
    <message>
        <source>鏧子</source>
        <translation>Bell</translation>
    </message>
    <message>
        <source>回数</source>
        <translation>Count</translation>
    </message>
    <message>
        <source>全文</source>
        <translation>Whole Text</translation>
    </message>
    <message>
        <source>木魚を一字ごとに打ちます</source>
        <translation>Strikes the wooden fish on every character</translation>
    </message>
    <message>
        <source>二句目から</source>
        <translation>From the Second Phrase</translation>
    </message>
    <message>
        <source>最初の句は独唱し、二句目から木魚を打ちます</source>
        <translation>The opening phrase alone, then the wooden fish on every character</translation>
    </message>
    <message>
        <source>小さく</source>
        <translation>Soft</translation>
    </message>
    <message>
        <source>普通</source>
        <translation>Medium</translation>
    </message>
    <message>
        <source>大きく</source>
        <translation>Loud</translation>
    </message>
    <message>
        <source>二下三下</source>
        <translation>Two Before, Three After</translation>
    </message>
    <message>
        <source>読経の前に二下、後に三下打ちます</source>
        <translation>Strikes the bell twice before the recitation and three times after it</translation>
    </message>
    <message>
        <source>前後に一下ずつ</source>
        <translation>Once Before, Once After</translation>
    </message>
    <message>
        <source>限りなく</source>
        <translation>Endless</translation>
    </message>
    <message>
        <source>停止するまで繰り返します</source>
        <translation>Repeats until stopped</translation>
    </message>
    <message>
        <source>回数を指定...</source>
        <translation>Other Count...</translation>
    </message>
    <message>
        <source>声なし</source>
        <translation>Without the Voice</translation>
    </message>
    <message>
        <source>声を出さずに木魚と表示だけで読経します</source>
        <translation>Recites with the instruments and the highlight alone, without the voice</translation>
    </message>
    <message>
        <source>記録...</source>
        <translation>Practice Record...</translation>
    </message>
    <message>
        <source>読経した日と回数の記録</source>
        <translation>The days and the recitations you have practised</translation>
    </message>
    <message>
        <source>%1 回</source>
        <translation>%1 Times</translation>
    </message>
    <message>
        <source>%1 回...</source>
        <translation>%1 Times...</translation>
    </message>
    <message>
        <source>読経する回数 (1〜%1):</source>
        <translation>Recitations (1 to %1):</translation>
    </message>
    <message>
        <source>記録ファイルが壊れていたため %1 に移しました。</source>
        <translation>The practice record was damaged and has been moved to %1.</translation>
    </message>
    <message>
        <source>記録ファイル %1 を読めません。</source>
        <translation>The practice record %1 cannot be read.</translation>
    </message>
    <message>
        <source>記録ファイル %1 に書き込めません。</source>
        <translation>The practice record %1 cannot be written.</translation>
    </message>
</context>
<context>
    <name>CPracticeRecordWnd</name>
    <message>
        <source>記録</source>
        <translation>Practice Record</translation>
    </message>
    <message>
        <source>この%1か月で %2日、%3回</source>
        <translation>Last %1 months: %2 days, %3 recitations</translation>
    </message>
    <message>
        <source>連続 %1日</source>
        <translation>Streak: %1 days</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>%1年%2月</source>
        <translation>%2/%1</translation>
    </message>
    <message>
        <source>日</source>
        <translation>Su</translation>
    </message>
    <message>
        <source>月</source>
        <translation>Mo</translation>
    </message>
    <message>
        <source>火</source>
        <translation>Tu</translation>
    </message>
    <message>
        <source>水</source>
        <translation>We</translation>
    </message>
    <message>
        <source>木</source>
        <translation>Th</translation>
    </message>
    <message>
        <source>金</source>
        <translation>Fr</translation>
    </message>
    <message>
        <source>土</source>
        <translation>Sa</translation>
    </message>
    <message>
        <source>%1回</source>
        <translation>%1 times</translation>
    </message>
</context>
<context>
    <name>CRecordWnd</name>
    <message>
        <source>音声の録音</source>
        <translation>Record Voice</translation>
    </message>
    <message>
        <source>録音の音量</source>
        <translation>Recording level</translation>
    </message>
    <message>
        <source>録音(&amp;R)</source>
        <translation>&amp;Record</translation>
    </message>
    <message>
        <source>停止(&amp;S)</source>
        <translation>&amp;Stop</translation>
    </message>
    <message>
        <source>再生(&amp;P)</source>
        <translation>&amp;Play</translation>
    </message>
    <message>
        <source>保存(&amp;K)</source>
        <translation>&amp;Keep</translation>
    </message>
    <message>
        <source>次へ(&amp;N)</source>
        <translation>&amp;Next</translation>
    </message>
    <message>
        <source>前へ(&amp;B)</source>
        <translation>&amp;Back</translation>
    </message>
    <message>
        <source>テスト(&amp;T)</source>
        <translation>&amp;Test</translation>
    </message>
    <message>
        <source> ms</source>
        <translation> ms</translation>
    </message>
    <message>
        <source>音が聞こえるまでの遅れ。テストで、音と光が同時になるように合わせます</source>
        <translation>How late the sound is heard. Press Test and change it until each beep and its flash come together</translation>
    </message>
    <message>
        <source>音の遅れ:</source>
        <translation>Output delay:</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>第%1句 / 54  (%2)</source>
        <translation>Phrase %1 of 54  (%2)</translation>
    </message>
    <message>
        <source>この句は録音してあります</source>
        <translation>This phrase has been recorded</translation>
    </message>
    <message>
        <source>この句はまだ録音していません</source>
        <translation>This phrase has not been recorded yet</translation>
    </message>
    <message>
        <source>%1  %2字  %3</source>
        <translation>%1  %2 chars  %3</translation>
    </message>
    <message>
        <source>● 録音済み</source>
        <translation>● kept</translation>
    </message>
    <message>
        <source>録音用のデバイスを開けません (エラー %1)</source>
        <translation>Cannot open the recording device (error %1).</translation>
    </message>
    <message>
        <source>録音を始められません (エラー %1)</source>
        <translation>Cannot start recording (error %1).</translation>
    </message>
    <message>
        <source>録音中… 唱え終わったら停止を押してください</source>
        <translation>Recording… Press Stop when you have finished chanting</translation>
    </message>
    <message>
        <source>声が録音されていません</source>
        <translation>No voice was recorded</translation>
    </message>
    <message>
        <source>声が録音されていません (無音です)。
マイクを確かめて、もう一度録音してください。</source>
        <translation>No voice was recorded (there was only silence).
Check the microphone and record again.</translation>
    </message>
    <message>
        <source>録音しました (%1 秒)。再生して確かめ、よければ保存してください</source>
        <translation>Recorded (%1 s). Play it back to check it, and keep it if it is good</translation>
    </message>
    <message>
        <source>再生用のデバイスを開けません (エラー %1)</source>
        <translation>Cannot open the playback device (error %1).</translation>
    </message>
    <message>
        <source>再生できません</source>
        <translation>Cannot play the recording.</translation>
    </message>
    <message>
        <source>保存しました。読経ではこの録音が流れます</source>
        <translation>Kept. The recitation will play this recording</translation>
    </message>
    <message>
        <source>録音を保存するフォルダー %1 を作れません。録音は保存されていません。</source>
        <translation>Cannot create the folder %1 for the recordings. The recording has not been saved.</translation>
    </message>
    <message>
        <source>フォルダー %1 に書き込めません。録音は保存されていません。</source>
        <translation>Cannot write to the folder %1. The recording has not been saved.</translation>
    </message>
    <message>
        <source>ディスクがいっぱいです。録音は保存されていません。
空きを作ってから、もう一度保存してください。</source>
        <translation>The disk is full. The recording has not been saved.
Free some space, then keep it again.</translation>
    </message>
    <message>
        <source>プログラムのフォルダーには保存できません。録音は保存されていません。</source>
        <translation>Recordings cannot be saved in the program&apos;s folder. The recording has not been saved.</translation>
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
