// SPDX-License-Identifier: GPL-3.0-or-later
// The program in the browser: the recitation and the sutra view over the
// page's canvas, its buttons and its storage. The page (web/site/solvari.js)
// calls the functions at the bottom for each command, click and size; this
// file only forwards them and shows what the recitation's fields say.
#include <emscripten.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/recitation.h"
#include "core/exe_directory.h"
#include "core/reading_state.h"
#include "core/sutra_tables.h"
#include "render/fixed_view_host.h"
#include "render/picture_holder.h"
#include "render/resource_bitmaps.h"
#include "render/sutra_view.h"
#include "web/web_platform.h"

namespace solvari::web {

// clang-format off
EM_JS(void, js_canvas_size, (int nWidth, int nHeight, int nScale), {
  SolvariPage.setCanvasSize(nWidth, nHeight, nScale);
});
EM_JS(void, js_canvas_put, (const std::uint8_t* pRgba, int x, int y, int nWidth, int nHeight), {
  SolvariPage.putPixels(HEAPU8.subarray(pRgba, pRgba + nWidth * nHeight * 4), x, y, nWidth,
                        nHeight);
});
EM_JS(void, js_show_message, (const char* pszText), {
  SolvariPage.showMessage(UTF8ToString(pszText));
});
EM_JS(void, js_changed, (), { SolvariPage.commandsChanged(); });
EM_JS(void, js_maximize, (int bOn), { SolvariPage.setMaximized(bOn); });
EM_JS(void, js_show_title, (int bShow), { SolvariPage.showTitle(bShow); });
EM_JS(void, js_trace, (const char* pszName, const long* pNumbers, int nCount), {
  SolvariPage.trace(UTF8ToString(pszName), Array.from(HEAP32.subarray(pNumbers >> 2,
                                                                       (pNumbers >> 2) + nCount)));
});
// clang-format on

namespace {

// Copies a rectangle of the view's pixels (0xFFRRGGBB) to the canvas.
void PutRect(const CSurface& s, Rect rc) {
  rc.left = std::max(rc.left, 0);
  rc.top = std::max(rc.top, 0);
  rc.right = std::min(rc.right, s.Width());
  rc.bottom = std::min(rc.bottom, s.Height());
  if (rc.right <= rc.left || rc.bottom <= rc.top) return;
  const int w = rc.right - rc.left;
  const int h = rc.bottom - rc.top;
  static std::vector<std::uint8_t> rgba;
  rgba.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
  std::uint8_t* out = rgba.data();
  for (int y = rc.top; y < rc.bottom; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(
        reinterpret_cast<const std::uint8_t*>(s.Bits()) +
        static_cast<std::size_t>(y) * static_cast<std::size_t>(s.BytesPerLine()));
    for (int x = rc.left; x < rc.right; ++x) {
      const std::uint32_t c = row[x];
      *out++ = static_cast<std::uint8_t>(c >> 16);
      *out++ = static_cast<std::uint8_t>(c >> 8);
      *out++ = static_cast<std::uint8_t>(c);
      *out++ = 0xFF;
    }
  }
  js_canvas_put(rgba.data(), rc.left, rc.top, w, h);
}

// The view's surface shown on the canvas, one pixel for one.
class CCanvasView : public IReadingView {
 public:
  CCanvasView(const ISutraViewHost& host) : m_view(host, MakeResourceBitmapFinder()) {
    m_view.SetChangedCallback([this](const Rect& rc) { PutRect(m_view.Surface(), rc); });
  }
  void SetSize(int nWidth, int nHeight, int nScale) {
    m_view.SetClientSize(nWidth * nScale, nHeight * nScale, nScale);
    js_canvas_size(nWidth * nScale, nHeight * nScale, nScale);
    InvalidateView();
  }
  int ColumnsPerPage() override { return m_view.ColumnsPerPage(); }
  void EraseColumn(int nPhrase) override { m_view.EraseColumn(nPhrase); }
  void DrawColumn(int nPhrase) override { m_view.DrawColumn(nPhrase); }
  void HighlightChar(int nPhrase, int nChar) override {
    m_view.HighlightChar(nPhrase, nChar);
    const long numbers[] = {nPhrase, nChar};
    js_trace("highlight", numbers, 2);
  }
  void InvalidateView() override {
    m_view.OnPaint();
    PutRect(m_view.Surface(), m_view.GetClientRect());
  }
  solvari::CSutraView& View() { return m_view; }

 private:
  solvari::CSutraView m_view;
};

class CWebFrame;

// The browser window: the page's view at its normal size, or filling the
// browser's window while reading with Maximize on.
class CPageWindow : public IFrameWindow {
 public:
  bool IsZoomed() override { return m_bZoomed; }
  void ShowMaximized() override {
    m_bZoomed = true;
    js_maximize(1);
  }
  bool ShowNormal() override {
    if (!m_bZoomed) return false;
    m_bZoomed = false;
    js_maximize(0);
    return true;
  }

 private:
  bool m_bZoomed = false;
};

// The recitation's events, for the page's tests (kept only when the page
// was opened with ?trace).
class CPageTrace : public ITraceSink {
 public:
  void Event(const char* pszName, std::initializer_list<long> numbers) override {
    const std::vector<long> v(numbers);
    js_trace(pszName, v.data(), static_cast<int>(v.size()));
  }
};

class CMessages : public IWaveMessageSink {
 public:
  void ShowMessage(const std::string& text) override { js_show_message(text.c_str()); }
};

// Parts that the recitation is handed at construction come first.
struct FrameParts : ISutraViewHost {
  explicit FrameParts(std::function<void(unsigned)> onTimer)
      : timers(std::move(onTimer)), view(*this) {}
  CWebTimers timers;
  CWebPoster poster;
  CLocalStorageProfile profile;
  CPageWindow window;
  CMessages messages;
  CPageTrace trace;
  CCanvasView view;
};

class CWebFrame : private FrameParts, public CRecitation, public CPictureHolder {
 public:
  CWebFrame()
      : FrameParts([this](unsigned nId) { OnFrameTimer(nId); }),
        CRecitation(
            RecitationPlatform{&timers, &view, &window, &poster, &profile, &messages, &trace,
                               /*bStretchOnWorker=*/false},
            [](const ReadingSettings&) {
              WaveDevices devices;
              devices.pOut = std::make_unique<CWebWaveOut>();
              return devices;
            },
            "/own") {}

  void Start(int nWidth, int nHeight, int nScale) {
    m_nWidth = nWidth;
    m_nHeight = nHeight;
    m_nScale = nScale;
    // The picture chosen last, when it is a file of this page; else the tile.
    LoadPicture(Settings().strPicture);
    view.SetSize(nWidth, nHeight, nScale);
    timers.SetTimer(TIMER_TITLE, kTitleDelayMs);
  }
  void Resize(int nWidth, int nHeight, int nScale) {
    if (nWidth == m_nWidth && nHeight == m_nHeight && nScale == m_nScale) return;
    m_nWidth = nWidth;
    m_nHeight = nHeight;
    m_nScale = nScale;
    view.SetSize(nWidth, nHeight, nScale);
  }
  void Click(int x, int y) {
    if (m_nState != Idle) return;
    const int nPhrase = view.View().OverviewPhraseAt(x, y);
    if (nPhrase >= 0) OnReadStartAt(nPhrase);
  }
  // As the program takes a chosen file: kept as the setting, and shown when
  // it is a picture (a damaged one leaves none, and the tile shows).
  bool UsePicture(const std::string& path) {
    if (!CanChangeSettings()) return false;
    SetPicturePath(path);
    LoadPicture(path);
    view.InvalidateView();
    return !m_hPicture.IsNull();
  }
  bool UsePixels(const std::uint32_t* pArgb, int nWidth, int nHeight, const std::string& path) {
    if (!CanChangeSettings()) return false;
    CPackedDib dib = DibFromArgb(pArgb, nWidth, nHeight, static_cast<std::size_t>(nWidth), false);
    if (dib.IsNull()) return false;
    m_hPicture = std::move(dib);
    PreparePicture();
    if (m_hPicture.IsNull()) return false;
    SetPicturePath(path);
    view.InvalidateView();
    return true;
  }
  // ISutraViewHost
  int GetReadingState() const override { return m_nState; }
  int GetCurrentPhrase() const override { return m_nPhrase; }
  const CPackedDib& GetPicture() const override { return m_hPicture; }
  const CPalette* GetPalette() const override { return m_pPalette.get(); }
  int GetReadingAid() const override { return m_nRuby; }
  std::string GetCountText() const override { return CountText(); }

  void OnWomDone() override {
    CRecitation::OnWomDone();
    js_changed();
  }
  void OnTitleTimer(unsigned nIDEvent) override {
    timers.KillTimer(nIDEvent);
    if (nIDEvent == TIMER_TITLE) {
      js_show_title(1);
      timers.SetTimer(TIMER_TITLE_END, kTitleShowMs);
    } else {
      js_show_title(0);
      m_nState = Idle;
      js_changed();
    }
  }
  CCanvasView& View() { return view; }

 private:
  void OnFrameTimer(unsigned nId) {
    OnTimer(nId);
    js_changed();
  }
  int m_nWidth = 0;
  int m_nHeight = 0;
  int m_nScale = 1;
};

CWebFrame* g_pFrame = nullptr;

std::string g_strState;

}  // namespace
}  // namespace solvari::web

using solvari::web::g_pFrame;

extern "C" {

// The page is laid out: the frame starts with the view at this size (in
// page pixels) and scale, its data beside it in folder pszDataDir.
EMSCRIPTEN_KEEPALIVE void solvari_start(int nWidth, int nHeight, int nScale,
                                        const char* pszDataDir) {
  if (g_pFrame) return;
  solvari::SetExeDirectory(pszDataDir);
  g_pFrame = new solvari::web::CWebFrame();
  g_pFrame->Start(nWidth, nHeight, nScale);
}

EMSCRIPTEN_KEEPALIVE void solvari_resize(int nWidth, int nHeight, int nScale) {
  if (g_pFrame) g_pFrame->Resize(nWidth, nHeight, nScale);
}

// A click on the view, in pixels of the canvas.
EMSCRIPTEN_KEEPALIVE void solvari_click(int x, int y) {
  if (g_pFrame) g_pFrame->Click(x, y);
}

// The commands by name, with their argument where they take one.
EMSCRIPTEN_KEEPALIVE void solvari_command(const char* pszName, int nArg) {
  if (!g_pFrame) return;
  solvari::web::CWebFrame& f = *g_pFrame;
  const std::string name = pszName;
  if (name == "start")
    f.OnReadStart();
  else if (name == "stop")
    f.OnReadStop();
  else if (name == "startstop")
    f.OnReadStartStop();
  else if (name == "startat")
    f.OnReadStartAt(nArg);
  else if (name == "next")
    f.OnReadNext();
  else if (name == "previous")
    f.OnReadPrevious();
  else if (name == "home")
    f.OnReadHome();
  else if (name == "repeatphrase")
    f.OnToggleRepeatPhrase();
  else if (name == "tempo")
    f.OnSetTempo(nArg);
  else if (name == "repeat")
    f.OnToggleRepeat();
  else if (name == "maximize")
    f.OnToggleMaximize();
  else if (name == "ruby") {
    if (f.CanChangeSettings()) {
      f.OnSelectRuby(nArg);
      f.View().InvalidateView();
    }
  } else if (name == "mokugyo")
    f.OnSetMokugyo(nArg);
  else if (name == "mokugyovolume")
    f.OnSetMokugyoVolume(nArg);
  else if (name == "bell")
    f.OnSetBell(nArg);
  else if (name == "count")
    f.OnSetCount(nArg);
  else if (name == "voice")
    f.OnToggleVoice();
}

// The picture file the page has put at pszPath (a .bmp file is read as the
// program reads it); 1 when it is shown.
EMSCRIPTEN_KEEPALIVE int solvari_picture_file(const char* pszPath) {
  return g_pFrame && g_pFrame->UsePicture(pszPath) ? 1 : 0;
}

// A picture the browser decoded (nWidth x nHeight pixels 0xAARRGGBB, opaque),
// kept as the setting pszPath.
EMSCRIPTEN_KEEPALIVE int solvari_picture_pixels(const std::uint32_t* pArgb, int nWidth, int nHeight,
                                                const char* pszPath) {
  return g_pFrame && g_pFrame->UsePixels(pArgb, nWidth, nHeight, pszPath) ? 1 : 0;
}

// The middle of phrase nPhrase on the overview, in canvas pixels, as
// x * 65536 + y; -1 for no phrase.
EMSCRIPTEN_KEEPALIVE int solvari_phrase_point(int nPhrase) {
  if (!g_pFrame) return -1;
  const solvari::CSutraView& v = g_pFrame->View().View();
  const solvari::Rect rc =
      solvari::CSutraView::OverviewPhraseRect(v.GetClientRect().right, nPhrase, v.Scale());
  if (rc.right <= rc.left) return -1;
  return ((rc.left + rc.right) / 2) * 65536 + (rc.top + rc.bottom) / 2;
}

// What the page's buttons show: a JSON object of the recitation's fields
// and which commands are enabled.
EMSCRIPTEN_KEEPALIVE const char* solvari_state() {
  if (!g_pFrame) return "{}";
  const solvari::web::CWebFrame& f = *g_pFrame;
  const solvari::ReadingSettings& s = f.Settings();
  std::string& out = solvari::web::g_strState;
  out = "{\"state\":" + std::to_string(f.m_nState) + ",\"phrase\":" + std::to_string(f.m_nPhrase) +
        ",\"canStart\":" + (f.CanStart() ? "true" : "false") +
        ",\"canStop\":" + (f.OnUpdateReadStop() ? "true" : "false") +
        ",\"canStep\":" + (f.OnUpdateReadStep() ? "true" : "false") +
        ",\"canPractice\":" + (f.CanPractice() ? "true" : "false") +
        ",\"canSettings\":" + (f.CanChangeSettings() ? "true" : "false") +
        ",\"repeat\":" + std::to_string(f.m_bRepeat) +
        ",\"repeatPhrase\":" + (f.m_bRepeatPhrase ? "true" : "false") +
        ",\"tempo\":" + std::to_string(f.m_nTempo) + ",\"ruby\":" + std::to_string(f.m_nRuby) +
        ",\"maximize\":" + std::to_string(f.m_bMaximizeOnReading) +
        ",\"mokugyo\":" + std::to_string(s.instruments.nMokugyo) +
        ",\"mokugyoVolume\":" + std::to_string(s.instruments.nMokugyoVolume) +
        ",\"bell\":" + std::to_string(s.instruments.nBell) +
        ",\"count\":" + std::to_string(s.instruments.nCount) +
        ",\"voice\":" + std::to_string(s.instruments.bVoice) + "}";
  return out.c_str();
}

// For the tests: paints the page of phrase nPhrase with character nChar lit
// (or the overview, nPhrase < 0) as a still picture, with nothing running,
// through the same canvas path as the recitation's drawing.
EMSCRIPTEN_KEEPALIVE void solvari_paint_still(int nPhrase, int nChar, int nAid, int nScale) {
  static solvari::CFixedViewHost host;
  static std::unique_ptr<solvari::web::CCanvasView> pView;
  if (g_pFrame) g_pFrame->StopAll();
  host.nState = nPhrase < 0 ? solvari::Idle : solvari::Reading;
  host.nPhrase = nPhrase < 0 ? 0 : nPhrase;
  host.nReadingAid = nAid;
  // The picture the page shows, as the page would draw it.
  host.picture.m_hPicture = g_pFrame ? g_pFrame->m_hPicture : solvari::CPackedDib();
  host.picture.PreparePicture();
  pView = std::make_unique<solvari::web::CCanvasView>(host);
  pView->SetSize(723, 425, nScale);
  if (nPhrase >= 0) {
    for (int k = nPhrase; k <= nPhrase + 5 && k <= solvari::kLastPhrase; ++k) pView->DrawColumn(k);
    pView->HighlightChar(nPhrase, nChar);
  }
}

}  // extern "C"
