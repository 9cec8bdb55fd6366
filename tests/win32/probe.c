/* Test helper run under Wine beside the program: waits for a visible
 * top-level window with the given title (and class) and prints what Win32 knows of it as
 * one line of JSON (UTF-8): its rectangles, styles, owner, whether it is the
 * foreground window, which of its children holds the keyboard focus, and its
 * children, top of the stack first, with their texts.
 *
 *   probe TITLE [TIMEOUT_MS [CLASS]]
 *
 * Exit code 0 when found, 1 when no such window appeared in time.
 */
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

static void put_text(const wchar_t *text)
{
    char buf[4096];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buf, sizeof buf, NULL, NULL);
    putchar('"');
    for (int i = 0; i < n - 1; ++i) {
        unsigned char c = (unsigned char)buf[i];
        if (c == '"' || c == '\\')
            printf("\\%c", c);
        else if (c < 0x20)
            printf("\\u%04x", c);
        else
            putchar(c);
    }
    putchar('"');
}

/* Opens the window's object and leaves it open for more fields. */
static void put_window(HWND hwnd, HWND relative_to)
{
    wchar_t cls[256] = L"", text[1024] = L"";
    RECT r;
    GetClassNameW(hwnd, cls, 256);
    /* WM_GETTEXT is carried across processes for every class. */
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, NULL);
    GetWindowRect(hwnd, &r);
    if (relative_to)
        MapWindowPoints(HWND_DESKTOP, relative_to, (POINT *)&r, 2);
    printf("{\"class\":");
    put_text(cls);
    printf(",\"text\":");
    put_text(text);
    printf(",\"rect\":[%ld,%ld,%ld,%ld],\"style\":%lu,\"exstyle\":%lu,\"visible\":%d,\"enabled\":%d", r.left, r.top,
           r.right - r.left, r.bottom - r.top, (unsigned long)GetWindowLongW(hwnd, GWL_STYLE),
           (unsigned long)GetWindowLongW(hwnd, GWL_EXSTYLE), IsWindowVisible(hwnd) ? 1 : 0,
           IsWindowEnabled(hwnd) ? 1 : 0);
}

static int count_descendants(HWND hwnd)
{
    int n = 0;
    for (HWND c = GetWindow(hwnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        n += 1 + count_descendants(c);
    return n;
}

struct wanted {
    const wchar_t *title, *cls;
    HWND found;
};

static BOOL CALLBACK match(HWND hwnd, LPARAM param)
{
    struct wanted *w = (struct wanted *)param;
    wchar_t text[1024] = L"", cls[256] = L"";
    GetWindowTextW(hwnd, text, 1024);
    GetClassNameW(hwnd, cls, 256);
    if (IsWindowVisible(hwnd) && wcscmp(text, w->title) == 0 && (!w->cls || wcscmp(cls, w->cls) == 0)) {
        w->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

static HWND wait_for(const wchar_t *title, const wchar_t *cls, DWORD timeout)
{
    DWORD start = GetTickCount();
    for (;;) {
        struct wanted w = {title, cls, NULL};
        EnumWindows(match, (LPARAM)&w);
        if (w.found)
            return w.found;
        if (GetTickCount() - start > timeout)
            return NULL;
        Sleep(100);
    }
}

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2) {
        fputs("usage: probe TITLE [TIMEOUT_MS [CLASS]]\n", stderr);
        return 2;
    }
    HWND hwnd = wait_for(argv[1], argc > 3 ? argv[3] : NULL, argc > 2 ? (DWORD)wcstoul(argv[2], NULL, 10) : 10000);
    if (!hwnd)
        return 1;

    RECT client;
    POINT origin = {0, 0};
    GetClientRect(hwnd, &client);
    ClientToScreen(hwnd, &origin);
    GUITHREADINFO gui;
    ZeroMemory(&gui, sizeof gui);
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, NULL), &gui);
    wchar_t focus_class[256] = L"";
    if (gui.hwndFocus)
        GetClassNameW(gui.hwndFocus, focus_class, 256);
    /* The child of this window that is or holds the focus. */
    HWND focus_child = gui.hwndFocus;
    while (focus_child && GetAncestor(focus_child, GA_PARENT) != hwnd)
        focus_child = focus_child == hwnd ? NULL : GetAncestor(focus_child, GA_PARENT);

    put_window(hwnd, NULL);
    printf(",\"client\":[%ld,%ld,%ld,%ld],\"owner\":%d,\"foreground\":%d,\"button_face\":%lu,\"focus_class\":",
           origin.x, origin.y, client.right, client.bottom, GetWindow(hwnd, GW_OWNER) ? 1 : 0,
           GetForegroundWindow() == hwnd ? 1 : 0, (unsigned long)GetSysColor(COLOR_BTNFACE));
    put_text(focus_class);
    int index = 0, focus_index = -1;
    printf(",\"children\":[");
    for (HWND c = GetWindow(hwnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT), ++index) {
        if (c == focus_child)
            focus_index = index;
        printf(index ? "," : "");
        put_window(c, hwnd);
        printf(",\"descendants\":%d}", count_descendants(c));
    }
    printf("],\"focus_child\":%d}\n", focus_index);
    fflush(stdout);
    return 0;
}
