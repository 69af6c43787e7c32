// The installer test's look at the running window from outside, as a user would see it:
//   window-probe SECONDS
// Waits up to SECONDS for Brindle's window, until the window has finished starting (it answers
// messages), then prints what it shows, one line each, in UTF-8:
//   edit: TEXT           each edit control (the image path)
//   list ID: LINE        each line of each list (ID is the list's control identifier)
//   dialog: TEXT         the texts of a message box the program shows (an error on opening)
// and closes the window and any such message box. Exit status 1 when no window appeared.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

static void Print(const char* tag, const wchar_t* text) {
  char utf8[4096];
  if (WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL) == 0) utf8[0] = 0;
  printf("%s: %s\n", tag, utf8);
}

static void GetText(HWND control, wchar_t* text, int size) {
  DWORD_PTR ignored;
  text[0] = 0;
  SendMessageTimeoutW(control, WM_GETTEXT, size, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, &ignored);
}

static BOOL CALLBACK ShowControl(HWND control, LPARAM unused) {
  (void)unused;
  wchar_t kind[64], text[1024];
  GetClassNameW(control, kind, 64);
  if (lstrcmpiW(kind, L"Edit") == 0) {
    GetText(control, text, 1024);
    Print("edit", text);
  } else if (lstrcmpiW(kind, L"ListBox") == 0) {
    char tag[32];
    snprintf(tag, sizeof tag, "list %d", GetDlgCtrlID(control));
    const LRESULT count = SendMessageW(control, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      if (SendMessageW(control, LB_GETTEXTLEN, i, 0) >= 1024) continue;
      text[0] = 0;
      SendMessageW(control, LB_GETTEXT, i, (LPARAM)text);
      Print(tag, text);
    }
  }
  return TRUE;
}

static BOOL CALLBACK ShowDialogText(HWND control, LPARAM unused) {
  (void)unused;
  wchar_t text[1024];
  GetText(control, text, 1024);
  if (text[0] != 0) Print("dialog", text);
  return TRUE;
}

// Message boxes of the window's process.
static BOOL CALLBACK ShowAndCloseDialog(HWND window, LPARAM process) {
  DWORD owner = 0;
  wchar_t kind[64];
  GetWindowThreadProcessId(window, &owner);
  GetClassNameW(window, kind, 64);
  if (owner == (DWORD)process && lstrcmpW(kind, L"#32770") == 0 && IsWindowVisible(window)) {
    EnumChildWindows(window, ShowDialogText, 0);
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? atoi(argv[1]) : 30;
  HWND window = NULL;
  for (int i = 0; i < seconds * 10 && window == NULL; ++i) {
    window = FindWindowW(L"BrindleFrmMain", NULL);
    if (window == NULL) Sleep(100);
  }
  if (window == NULL) {
    fprintf(stderr, "window-probe: no Brindle window within %d s\n", seconds);
    return 1;
  }
  // The window opens its image before it takes messages: once it answers, the open is done
  // (or its message box is up).
  DWORD_PTR ignored;
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, seconds * 1000, &ignored);
  Sleep(500);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  EnumWindows(ShowAndCloseDialog, (LPARAM)process);
  EnumChildWindows(window, ShowControl, 0);
  fflush(stdout);
  PostMessageW(window, WM_CLOSE, 0, 0);
  return 0;
}
