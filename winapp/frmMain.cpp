#include "winapp/frmMain.h"

#include <cstring>

#include "reader/EntryLine.h"
#include "reader/FormTexts.h"
#include "reader/Messages.h"
#include "winapp/Fonts.h"
#include "winapp/Text.h"

namespace brindle::winapp {
namespace {

namespace texts = reader::texts;

constexpr const wchar_t* kWindowClass = L"BrindleFrmMain";

// The client area of the window, in twips.
constexpr int kClientWidth = 9795;
constexpr int kClientHeight = 5895;
// Where the two frames put their contents, in window coordinates (twips).
constexpr int kFrame1Left = 60;
constexpr int kFrame1Top = 0;
constexpr int kFrame2Left = kFrame1Left + 7260;
constexpr int kFrame2Top = kFrame1Top + 120;

// Ctrl+C types this character.
constexpr int kCtrlC = 3;

// The icon above a source button's caption, in pixels at 96 dots per inch.
constexpr int kSourceIcon = 32;

bool IsUserInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
         (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

HICON LoadIconResource(int id, int size) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                       size, size, LR_DEFAULTCOLOR));
}

}  // namespace

frmMain::frmMain(Prompts& prompts, DriveSide drives)
    : prompts_(prompts),
      drives_(std::move(drives)),
      reader_(*this,
              [this](std::int32_t lba, std::int16_t count) { return readDrive(lba, count); }),
      guard_([] { SetCursor(LoadCursorW(nullptr, IDC_WAIT)); },
             [this] {
               dropQueuedInput();
               SetCursor(LoadCursorW(nullptr, IDC_ARROW));
             }) {
  HDC screen = GetDC(nullptr);
  dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  iconCdrom_ = LoadIconResource(kIconCdrom, twips(kSourceIcon * 15));
  iconDiscImage_ = LoadIconResource(kIconDiscImage, twips(kSourceIcon * 15));

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hIcon = LoadIconResource(kIconCdrom, GetSystemMetrics(SM_CXICON));
  windowClass.hIconSm = LoadIconResource(kIconCdrom, GetSystemMetrics(SM_CXSMICON));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExW(&windowClass);  // fails harmlessly when a second window registers it again

  // A fixed frame around the client area of the design's size. The window paints its
  // background under its children too: the frames do not fill their insides.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame{0, 0, twips(kClientWidth), twips(kClientHeight)};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  hwnd_ = CreateWindowExW(0, kWindowClass, DecodeText(texts::kTitle).c_str(), style, CW_USEDEFAULT,
                          CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                          nullptr, nullptr, GetModuleHandleW(nullptr), this);
  createFonts();
  createControls();
  Form_Load();
}

frmMain::~frmMain() {
  if (hwnd_ != nullptr) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
  for (HFONT font : {courier_, courierSmall_, courierBold_, dialog_}) DeleteObject(font);
  DestroyIcon(iconCdrom_);
  DestroyIcon(iconDiscImage_);
}

void frmMain::show() {
  ShowWindow(hwnd_, SW_SHOW);
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void frmMain::createFonts() {
  courier_ = MakeCourierNew(9.75, false, dpi_);
  courierSmall_ = MakeCourierNew(9, false, dpi_);
  courierBold_ = MakeCourierNew(9.75, true, dpi_);
  dialog_ = MakeDialogFont(dpi_);
}

HWND frmMain::create(const wchar_t* windowClass, const char* text, DWORD style, int id, int left,
                     int top, int width, int height, HFONT font, DWORD exStyle) {
  HWND control = CreateWindowExW(
      exStyle, windowClass, DecodeText(text).c_str(), WS_CHILD | WS_CLIPSIBLINGS | style,
      twips(left), twips(top), twips(width), twips(height), hwnd_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

void frmMain::createControls() {
  // Created in tab-index order: tab navigation follows the order of creation. Every control is
  // a child of the window, placed by its frame's offset plus its own position.
  const int x1 = kFrame1Left, y1 = kFrame1Top, x2 = kFrame2Left, y2 = kFrame2Top;
  const DWORD shown = WS_VISIBLE;
  Frame1 = create(L"BUTTON", "", shown | BS_GROUPBOX, kFrame1, x1, y1, 9675, 5835, dialog_);
  lstFiles =
      create(L"LISTBOX", "", shown | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
             kLstFiles, x1 + 120, y1 + 1440, 7035, 3870, courier_, WS_EX_CLIENTEDGE);
  cmdOpen = create(L"BUTTON", texts::kOpenImage, shown | WS_TABSTOP | BS_PUSHBUTTON, kCmdOpen,
                   x1 + 6660, y1 + 480, 495, 315, dialog_);
  txtFile = create(L"EDIT", texts::kNoFile, shown | WS_TABSTOP | WS_DISABLED | ES_AUTOHSCROLL,
                   kTxtFile, x1 + 120, y1 + 480, 6495, 315, courier_, WS_EX_CLIENTEDGE);
  Label1 = create(L"STATIC", texts::kLabelImage, shown | SS_LEFT, kLabel1, x1 + 120, y1 + 180, 1320,
                  240, courier_);
  Label2 = create(L"STATIC", texts::kHeadingName, shown | SS_LEFT, kLabel2, x1 + 120, y1 + 1200,
                  960, 240, courier_);
  Label3 = create(L"STATIC", texts::kHeadingType, shown | SS_LEFT, kLabel3, x1 + 4245, y1 + 1200,
                  480, 240, courier_);
  Label4 = create(L"STATIC", texts::kHeadingSize, shown | SS_LEFT, kLabel4, x1 + 5805, y1 + 1200,
                  960, 240, courier_);
  // Hidden at start, in txtFile's place. The drop-down part hangs below the field.
  cbDrives = create(L"COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, kCbDrives,
                    x1 + 120, y1 + 480, 6495, 345 + 2400, courierSmall_);
  Command2 = create(L"BUTTON", texts::kExtractAll, shown | WS_TABSTOP | BS_PUSHBUTTON, kCommand2,
                    x1 + 120, y1 + 5400, 2895, 315, dialog_);
  Frame2 = create(L"BUTTON", "", shown | BS_GROUPBOX, kFrame2, x2, y2, 2295, 5205, dialog_);
  // The directory stack lives in a list that is never shown.
  lstHistory = create(L"LISTBOX", "", LBS_NOINTEGRALHEIGHT, kLstHistory, x2 + 120, y2 + 4080, 2055,
                      1035, dialog_, WS_EX_CLIENTEDGE);
  optDiscImage = create(L"BUTTON", texts::kSourceImage, shown | WS_TABSTOP | BS_OWNERDRAW,
                        kOptDiscImage, x2 + 120, y2 + 480, 975, 915, dialog_);
  optCDROM = create(L"BUTTON", texts::kSourceDrive, shown | WS_TABSTOP | BS_OWNERDRAW, kOptCDROM,
                    x2 + 1200, y2 + 480, 975, 915, dialog_);
  Label5 = create(L"STATIC", texts::kSource, shown | SS_LEFT, kLabel5, x2 + 120, y2 + 180, 840, 240,
                  courier_);
  lbDiscSize = create(L"STATIC", texts::kNoDiscSize, shown | SS_RIGHT, kLbDiscSize, x2 + 1440,
                      y2 + 1800, 720, 240, courierBold_);
  Label7 = create(L"STATIC", texts::kDiscSizeLabel, shown | SS_LEFT, kLabel7, x2 + 120, y2 + 1800,
                  1200, 240, courier_);
  // The separator rules: etched lines two pixels high, starting at the line's first point.
  Line1 =
      create(L"STATIC", "", shown | SS_ETCHEDHORZ, kLine1, x1 + 120, y1 + 1020, 7020, 30, dialog_);
  Line2 =
      create(L"STATIC", "", shown | SS_ETCHEDHORZ, kLine2, x2 + 120, y2 + 1620, 2040, 30, dialog_);
  // The frames are drawn under the controls they hold.
  SetWindowPos(Frame2, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetWindowPos(Frame1, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  // The closed drop-down list is as high as the design makes it.
  const int fieldHeight = twips(345) - 2 * GetSystemMetrics(SM_CYEDGE) - 2;
  SendMessageW(cbDrives, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), fieldHeight);
  SetFocus(lstFiles);
}

void frmMain::Form_Load() {
  clearFiles();
  SendMessageW(cbDrives, CB_RESETCONTENT, 0, 0);
  setSource(reader::SectorSource::Image);
}

void frmMain::setSource(reader::SectorSource source) {
  source_ = source;
  InvalidateRect(optDiscImage, nullptr, FALSE);
  InvalidateRect(optCDROM, nullptr, FALSE);
}

bool frmMain::isSourceDown(HWND button) const {
  return button == (source_ == reader::SectorSource::Image ? optDiscImage : optCDROM);
}

void frmMain::setText(HWND control, const char* text) {
  SetWindowTextW(control, DecodeText(text).c_str());
}

void frmMain::optDiscImage_Click() {
  guard_.run([this] { showImageSource(); });
}

void frmMain::showImageSource() {
  setText(Label1, texts::kLabelImage);
  setText(cmdOpen, texts::kOpenImage);
  ShowWindow(cbDrives, SW_HIDE);
  setText(txtFile, texts::kNoFile);
  ShowWindow(txtFile, SW_SHOW);
  clearFiles();
  setSource(reader::SectorSource::Image);
}

void frmMain::optCDROM_Click() {
  guard_.run([this] { showDriveSource(); });
}

void frmMain::showDriveSource() {
  setText(Label1, texts::kLabelDrive);
  setText(cmdOpen, texts::kOpenDrive);
  ShowWindow(cbDrives, SW_SHOW);
  if (tag().empty() && drives_.SelectTransport) drives_.SelectTransport();
  ShowWindow(txtFile, SW_HIDE);
  clearFiles();
  setSource(reader::SectorSource::Drive);
}

void frmMain::Form_KeyPress(int keyascii) {
  if (keyascii != kCtrlC) return;
  if (!OpenClipboard(hwnd_)) return;
  EmptyClipboard();
  const int selected = currentFile();
  const std::wstring name =
      FromBytes(reader::EntryName(selected >= 0 ? fileLine(selected) : std::string()));
  const std::size_t bytes = (name.size() + 1) * sizeof(wchar_t);
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    if (void* target = GlobalLock(memory)) {
      std::memcpy(target, name.c_str(), bytes);
      GlobalUnlock(memory);
      if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
    } else {
      GlobalFree(memory);
    }
  }
  CloseClipboard();
}

void frmMain::cmdOpen_Click() {
  guard_.run([this] { reader_.cmdOpen_Click(); });
}
void frmMain::OpenImageAt(const std::string& path) {
  guard_.run([this, &path] { reader_.OpenImageAt(path); });
}
void frmMain::lstFiles_DblClick() {
  guard_.run([this] { reader_.lstFiles_DblClick(); });
}
void frmMain::Command2_Click() {
  guard_.run([this] { reader_.Command2_Click(); });
}

void frmMain::HandleMessage(MSG& message) {
  const bool ours = message.hwnd == hwnd_ || IsChild(hwnd_, message.hwnd);
  // While an action runs, no click or key reaches the window.
  if (ours && guard_.busy() && IsUserInput(message.message)) return;
  // The window previews every typed character, before the focused control.
  if (ours && message.message == WM_CHAR) Form_KeyPress(static_cast<int>(message.wParam));
  if (ours && IsDialogMessageW(hwnd_, &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

void frmMain::MessagePass() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that ends the program
      return;
    }
    HandleMessage(message);
  }
}

void frmMain::dropQueuedInput() {
  MSG message;
  while (PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  while (PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
  while (PeekMessageW(&message, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
  }
}

void frmMain::onCommand(int id, int code) {
  if (id == kOptDiscImage && code == BN_CLICKED) {
    if (source_ != reader::SectorSource::Image) optDiscImage_Click();
  } else if (id == kOptCDROM && code == BN_CLICKED) {
    if (source_ != reader::SectorSource::Drive) optCDROM_Click();
  } else if (id == kCmdOpen && code == BN_CLICKED) {
    cmdOpen_Click();
  } else if (id == kCommand2 && code == BN_CLICKED) {
    Command2_Click();
  } else if (id == kLstFiles && code == LBN_DBLCLK) {
    lstFiles_DblClick();
  }
}

void frmMain::drawSourceButton(const DRAWITEMSTRUCT& item) {
  const bool down = isSourceDown(item.hwndItem) || (item.itemState & ODS_SELECTED) != 0;
  RECT face = item.rcItem;
  DrawFrameControl(item.hDC, &face, DFC_BUTTON,
                   DFCS_BUTTONPUSH | DFCS_ADJUSTRECT | (down ? DFCS_PUSHED : 0));
  const int shift = down ? 1 : 0;
  // The picture above the caption, both centred.
  const int icon = twips(kSourceIcon * 15);
  const int captionHeight = twips(240);
  const int top = face.top + (face.bottom - face.top - icon - captionHeight) / 2 + shift;
  const int left = face.left + (face.right - face.left - icon) / 2 + shift;
  DrawIconEx(item.hDC, left, top, item.hwndItem == optCDROM ? iconCdrom_ : iconDiscImage_, icon,
             icon, 0, nullptr, DI_NORMAL);
  wchar_t caption[64] = {};
  GetWindowTextW(item.hwndItem, caption, 64);
  RECT text{face.left + shift, top + icon, face.right + shift, top + icon + captionHeight};
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, GetSysColor(COLOR_BTNTEXT));
  HGDIOBJ previous = SelectObject(item.hDC, dialog_);
  DrawTextW(item.hDC, caption, -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(item.hDC, previous);
  if (item.itemState & ODS_FOCUS) {
    RECT focus = face;
    InflateRect(&focus, -2, -2);
    DrawFocusRect(item.hDC, &focus);
  }
}

LRESULT CALLBACK frmMain::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* form = static_cast<frmMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    form->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<frmMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (form == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  return form->handle(message, wParam, lParam);
}

LRESULT frmMain::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      onCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_CTLCOLORSTATIC: {
      // Labels and the read-only path stand on the window's face colour.
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      SetTextColor(dc,
                   GetSysColor(IsWindowEnabled(reinterpret_cast<HWND>(lParam)) ? COLOR_WINDOWTEXT
                                                                               : COLOR_GRAYTEXT));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_DRAWITEM:
      drawSourceButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_SETCURSOR:
      // The wait cursor over the whole window while an action runs, but not while the window
      // is disabled under one of the action's dialogs.
      if (guard_.busy() && IsWindowEnabled(hwnd_)) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      // The action still uses the window; it closes once the action is done.
      if (guard_.busy()) return 0;
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

sector::SectorData frmMain::readDrive(std::int32_t lba, std::int16_t count) {
  if (drives_.readDrive) return drives_.readDrive(lba, count);
  showError(reader::messages::kNoDriveSelected);
  return {};
}

}  // namespace brindle::winapp
