// Reading and answering message boxes: the box's controls tell caption, text, buttons and icon.
//
// What a message box is made of, under Windows and under Wine alike: a "#32770" dialog with the message text in
// a static control of id 0xFFFF, one push button per answer (id IDOK ... IDCONTINUE, IDHELP for MB_HELP), and a
// static SS_ICON control for the icon. Wine builds the box from a template holding every button and destroys
// the unused ones; its icon control (id 0x440) always exists and stays visible, empty and not resized to icon
// size when the box has no icon. Windows' icon control has the id 0x14.
#include "box_reader.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

namespace
{
const int c_idText = 0xFFFF;
const int c_idIconWine = 0x440;
const int c_idIconWindows = 0x14;

// How long to wait for another window's answer to a message we send it.
const UINT c_msSendTimeout = 2000;

// How long the pixels of another process's box may take to show its icon.
const DWORD c_msPaintWait = 1500;
const DWORD c_msPaintRetry = 40;
const DWORD c_msRaiseAfter = 300;

// Share of the icon's pixels that must match a system icon, and by how much the best match must beat the
// next one (Wine's question and information icons share nine tenths of their pixels); share of the control
// that must differ from the background for there to be an icon at all; largest difference of a colour channel
// between pixels that count as alike.
const double c_matchThreshold = 0.95;
const double c_matchMargin = 0.03;
const double c_minInkShare = 0.05;
const int c_channelTolerance = 12;

// All message box buttons in id order.
const int c_rgidButtons[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO, IDHELP, IDTRYAGAIN, IDCONTINUE};

struct CSystemIcon
{
    WORD idIcon;
    UINT flag;
};

// IDI_HAND, IDI_QUESTION, IDI_EXCLAMATION, IDI_ASTERISK.
const CSystemIcon c_rgSystemIcons[] = {
    {32513, MB_ICONHAND},
    {32514, MB_ICONQUESTION},
    {32515, MB_ICONEXCLAMATION},
    {32516, MB_ICONASTERISK},
};

bool HasClass(HWND hwnd, const wchar_t* szClass)
{
    wchar_t szName[64] = {};
    if (!GetClassNameW(hwnd, szName, ARRAYSIZE(szName)))
        return false;
    return CompareStringOrdinal(szName, -1, szClass, -1, TRUE) == CSTR_EQUAL;
}

LONG Style(HWND hwnd)
{
    return GetWindowLongW(hwnd, GWL_STYLE);
}

// WS_VISIBLE rather than IsWindowVisible: while the box initialises, the dialog itself is still hidden.
bool IsShownButton(HWND hwndButton)
{
    return hwndButton && HasClass(hwndButton, L"Button") && (Style(hwndButton) & WS_VISIBLE) != 0;
}

HWND FindTextControl(HWND hwndBox)
{
    HWND hwndText = GetDlgItem(hwndBox, c_idText);
    return hwndText && HasClass(hwndText, L"Static") ? hwndText : nullptr;
}

bool IsIconStatic(HWND hwnd)
{
    return hwnd && HasClass(hwnd, L"Static") && (Style(hwnd) & SS_TYPEMASK) == SS_ICON;
}

HWND FindIconControl(HWND hwndBox)
{
    for (int id : {c_idIconWine, c_idIconWindows})
    {
        HWND hwndIcon = GetDlgItem(hwndBox, id);
        if (IsIconStatic(hwndIcon))
            return hwndIcon;
    }
    for (HWND hwnd = GetWindow(hwndBox, GW_CHILD); hwnd; hwnd = GetWindow(hwnd, GW_HWNDNEXT))
    {
        if (IsIconStatic(hwnd))
            return hwnd;
    }
    return nullptr;
}

std::wstring WindowText(HWND hwnd)
{
    DWORD_PTR cch = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, c_msSendTimeout, &cch))
        return std::wstring();
    std::wstring text(cch + 1, L'\0');
    DWORD_PTR cchCopied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                             c_msSendTimeout, &cchCopied))
        return std::wstring();
    text.resize(std::min<size_t>(cchCopied, cch));
    return text;
}

bool Contains(const std::vector<int>& ids, int id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// MB_OK ... MB_CANCELTRYCONTINUE for the set of buttons shown, MB_HELP added for a Help button.
UINT ButtonsStyle(std::vector<int> ids)
{
    UINT help = 0;
    auto itHelp = std::find(ids.begin(), ids.end(), IDHELP);
    if (itHelp != ids.end())
    {
        help = MB_HELP;
        ids.erase(itHelp);
    }
    struct CButtonSet
    {
        UINT type;
        std::vector<int> ids;
    };
    const CButtonSet rgSets[] = {
        {MB_OK, {IDOK}},
        {MB_OKCANCEL, {IDOK, IDCANCEL}},
        {MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}},
        {MB_YESNOCANCEL, {IDCANCEL, IDYES, IDNO}},
        {MB_YESNO, {IDYES, IDNO}},
        {MB_RETRYCANCEL, {IDCANCEL, IDRETRY}},
        {MB_CANCELTRYCONTINUE, {IDCANCEL, IDTRYAGAIN, IDCONTINUE}},
    };
    for (const CButtonSet& set : rgSets)
    {
        if (set.ids == ids)
            return set.type | help;
    }
    // No standard set: the nearest thing, so that the description still shows the help button.
    return MB_OK | help;
}

// --- The icon of a box in this process: its handle -------------------------------------------------------

UINT IconStyleFromHandle(HICON hIcon)
{
    if (!hIcon)
        return 0;
    // Shared system icons: every LoadIcon in one process gives the handle the box got.
    for (const CSystemIcon& icon : c_rgSystemIcons)
    {
        if (LoadIconW(nullptr, MAKEINTRESOURCEW(icon.idIcon)) == hIcon)
            return icon.flag;
    }
    return MB_USERICON;
}

// --- The icon of another process's box: its pixels -------------------------------------------------------

// A top-down 32-bit bitmap whose pixels can be read.
class CPixelBuffer
{
public:
    CPixelBuffer(HDC hdcCompatible, int cx, int cy) : m_cx(cx), m_cy(cy)
    {
        BITMAPINFO bmi = {};
        bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
        bmi.bmiHeader.biWidth = cx;
        bmi.bmiHeader.biHeight = -cy;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        m_hdc = CreateCompatibleDC(hdcCompatible);
        m_hbm = CreateDIBSection(hdcCompatible, &bmi, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_pBits), nullptr, 0);
        if (m_hdc && m_hbm)
            m_hbmOld = SelectObject(m_hdc, m_hbm);
    }
    ~CPixelBuffer()
    {
        if (m_hbmOld)
            SelectObject(m_hdc, m_hbmOld);
        if (m_hbm)
            DeleteObject(m_hbm);
        if (m_hdc)
            DeleteDC(m_hdc);
    }
    CPixelBuffer(const CPixelBuffer&) = delete;
    CPixelBuffer& operator=(const CPixelBuffer&) = delete;

    bool Ok() const { return m_hbmOld != nullptr && m_pBits != nullptr; }
    HDC Dc() const { return m_hdc; }
    int Width() const { return m_cx; }
    int Height() const { return m_cy; }
    DWORD Pixel(int x, int y) const { return m_pBits[static_cast<size_t>(y) * m_cx + x] & 0x00FFFFFF; }

    void Fill(DWORD color)
    {
        GdiFlush();
        std::fill(m_pBits, m_pBits + static_cast<size_t>(m_cx) * m_cy, color);
    }

private:
    int m_cx;
    int m_cy;
    HDC m_hdc = nullptr;
    HBITMAP m_hbm = nullptr;
    HGDIOBJ m_hbmOld = nullptr;
    DWORD* m_pBits = nullptr;
};

bool IsClose(DWORD a, DWORD b)
{
    for (int shift = 0; shift < 24; shift += 8)
    {
        const int ca = static_cast<int>((a >> shift) & 0xFF);
        const int cb = static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(ca - cb) > c_channelTolerance)
            return false;
    }
    return true;
}

// The colour most frequent along the edge of the buffer: the box's background around the icon.
DWORD BorderColor(const CPixelBuffer& buffer)
{
    std::vector<DWORD> colors;
    for (int x = 0; x < buffer.Width(); ++x)
    {
        colors.push_back(buffer.Pixel(x, 0));
        colors.push_back(buffer.Pixel(x, buffer.Height() - 1));
    }
    for (int y = 1; y + 1 < buffer.Height(); ++y)
    {
        colors.push_back(buffer.Pixel(0, y));
        colors.push_back(buffer.Pixel(buffer.Width() - 1, y));
    }
    std::sort(colors.begin(), colors.end());
    DWORD best = colors.empty() ? 0 : colors[0];
    size_t cBest = 0;
    for (size_t i = 0; i < colors.size();)
    {
        size_t j = i;
        while (j < colors.size() && colors[j] == colors[i])
            ++j;
        if (j - i > cBest)
        {
            cBest = j - i;
            best = colors[i];
        }
        i = j;
    }
    return best;
}

// Share of the pixels that are ink in either picture which look alike in both.
double MatchScore(const CPixelBuffer& screen, const CPixelBuffer& drawn, DWORD background)
{
    size_t cInk = 0;
    size_t cMatch = 0;
    for (int y = 0; y < screen.Height(); ++y)
    {
        for (int x = 0; x < screen.Width(); ++x)
        {
            const DWORD a = screen.Pixel(x, y);
            const DWORD b = drawn.Pixel(x, y);
            if (IsClose(a, background) && IsClose(b, background))
                continue;
            ++cInk;
            if (IsClose(a, b))
                ++cMatch;
        }
    }
    return cInk ? static_cast<double>(cMatch) / static_cast<double>(cInk) : 0.0;
}

// Makes sure nothing covers the icon on screen; a box about to be answered may be raised.
void UncoverIcon(HWND hwndBox, HWND hwndIcon, const RECT& rcIcon)
{
    POINT pt = {(rcIcon.left + rcIcon.right) / 2, (rcIcon.top + rcIcon.bottom) / 2};
    HWND hwndAt = WindowFromPoint(pt);
    if (hwndAt == hwndBox || hwndAt == hwndIcon || IsChild(hwndBox, hwndAt))
        return;
    SetWindowPos(hwndBox, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// One look at the screen: the system icon the control shows, or 0 when the pixels show none of them (yet).
int IconStyleFromScreenOnce(const RECT& rcIcon)
{
    const int cx = rcIcon.right - rcIcon.left;
    const int cy = rcIcon.bottom - rcIcon.top;
    HDC hdcScreen = GetDC(nullptr);
    if (!hdcScreen)
        return 0;
    int result = 0;
    {
        CPixelBuffer screen(hdcScreen, cx, cy);
        CPixelBuffer drawn(hdcScreen, cx, cy);
        if (screen.Ok() && drawn.Ok() &&
            BitBlt(screen.Dc(), 0, 0, cx, cy, hdcScreen, rcIcon.left, rcIcon.top, SRCCOPY | CAPTUREBLT))
        {
            GdiFlush();
            const DWORD background = BorderColor(screen);
            size_t cInk = 0;
            for (int y = 0; y < cy; ++y)
            {
                for (int x = 0; x < cx; ++x)
                {
                    if (!IsClose(screen.Pixel(x, y), background))
                        ++cInk;
                }
            }
            if (static_cast<double>(cInk) >= c_minInkShare * cx * cy)
            {
                double bestScore = 0.0;
                double secondScore = 0.0;
                UINT bestFlag = 0;
                for (const CSystemIcon& icon : c_rgSystemIcons)
                {
                    HICON hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(icon.idIcon));
                    if (!hIcon)
                        continue;
                    drawn.Fill(background);
                    if (!DrawIconEx(drawn.Dc(), 0, 0, hIcon, cx, cy, 0, nullptr, DI_NORMAL))
                        continue;
                    GdiFlush();
                    const double score = MatchScore(screen, drawn, background);
                    if (score > bestScore)
                    {
                        secondScore = bestScore;
                        bestScore = score;
                        bestFlag = icon.flag;
                    }
                    else if (score > secondScore)
                    {
                        secondScore = score;
                    }
                }
                if (bestScore >= c_matchThreshold && bestScore - secondScore >= c_matchMargin)
                    result = static_cast<int>(bestFlag);
            }
        }
    }
    ReleaseDC(nullptr, hdcScreen);
    return result;
}

UINT IconStyleFromScreen(HWND hwndBox, HWND hwndIcon)
{
    RECT rcIcon = {};
    if (!GetWindowRect(hwndIcon, &rcIcon))
        return 0;
    // The control takes the size of the icon it is given; Wine leaves it at its template size without one.
    const int cx = rcIcon.right - rcIcon.left;
    const int cy = rcIcon.bottom - rcIcon.top;
    if (cx != GetSystemMetrics(SM_CXICON) || cy != GetSystemMetrics(SM_CYICON))
        return 0;

    // The box may not be on screen or painted yet: look again for a while. Should something else cover the
    // icon, the box is raised; not at once, since the stacking Wine reports may differ from what the X server
    // shows without a window manager.
    const ULONGLONG start = GetTickCount64();
    bool fRaised = false;
    for (;;)
    {
        if (IsWindowVisible(hwndBox))
        {
            const int result = IconStyleFromScreenOnce(rcIcon);
            if (result > 0)
                return static_cast<UINT>(result);
        }
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (elapsed >= c_msPaintWait || !IsWindow(hwndBox))
            return 0;
        if (!fRaised && elapsed >= c_msRaiseAfter && IsWindowVisible(hwndBox))
        {
            fRaised = true;
            UncoverIcon(hwndBox, hwndIcon, rcIcon);
        }
        Sleep(c_msPaintRetry);
    }
}

UINT IconStyle(HWND hwndBox)
{
    HWND hwndIcon = FindIconControl(hwndBox);
    if (!hwndIcon || !(Style(hwndIcon) & WS_VISIBLE))
        return 0;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwndBox, &pid);
    if (pid == GetCurrentProcessId())
    {
        DWORD_PTR hIcon = 0;
        if (!SendMessageTimeoutW(hwndIcon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, c_msSendTimeout, &hIcon))
            return 0;
        return IconStyleFromHandle(reinterpret_cast<HICON>(hIcon));
    }
    // Icon handles mean nothing in another process under Wine: compare what the screen shows.
    return IconStyleFromScreen(hwndBox, hwndIcon);
}
} // namespace

std::vector<int> GetMessageBoxButtons(HWND hwndBox)
{
    std::vector<int> ids;
    for (int id : c_rgidButtons)
    {
        if (IsShownButton(GetDlgItem(hwndBox, id)))
            ids.push_back(id);
    }
    return ids;
}

bool IsMessageBoxWindow(HWND hwnd)
{
    return hwnd && IsWindow(hwnd) && HasClass(hwnd, L"#32770") && FindTextControl(hwnd) &&
           !GetMessageBoxButtons(hwnd).empty();
}

bool ReadMessageBox(HWND hwndBox, CBoxRecord& rec)
{
    if (!IsMessageBoxWindow(hwndBox))
        return false;
    rec = CBoxRecord();
    rec.hwndBox = hwndBox;
    rec.hwndOwner = GetWindow(hwndBox, GW_OWNER);
    rec.caption = WindowText(hwndBox);
    rec.text = WindowText(FindTextControl(hwndBox));
    rec.style = ButtonsStyle(GetMessageBoxButtons(hwndBox)) | IconStyle(hwndBox);
    return true;
}

bool AnswerMessageBox(HWND hwndBox, int idButton)
{
    HWND hwndButton = GetDlgItem(hwndBox, idButton);
    if (!IsShownButton(hwndButton))
        return false;
    return PostMessageW(hwndBox, WM_COMMAND, MAKEWPARAM(idButton, BN_CLICKED), reinterpret_cast<LPARAM>(hwndButton)) !=
           FALSE;
}

int GetMessageBoxDefaultButton(HWND hwndBox)
{
    const std::vector<int> ids = GetMessageBoxButtons(hwndBox);
    for (int id : ids)
    {
        if ((Style(GetDlgItem(hwndBox, id)) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            return id;
    }
    // Wine answers DM_GETDEFID with IDOK whatever the box shows, hence the check that the button exists.
    DWORD_PTR defId = 0;
    if (SendMessageTimeoutW(hwndBox, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, c_msSendTimeout, &defId) &&
        HIWORD(defId) == DC_HASDEFID && Contains(ids, LOWORD(defId)))
        return LOWORD(defId);
    if (Contains(ids, IDOK))
        return IDOK;
    if (Contains(ids, IDCANCEL))
        return IDCANCEL;
    return 0;
}

std::wstring DescribeStyle(UINT style)
{
    std::wstring text;
    auto add = [&text](const std::wstring& part) {
        if (!text.empty())
            text += L'|';
        text += part;
    };
    auto hex = [](UINT value) {
        std::wstring digits;
        do
        {
            digits.insert(digits.begin(), L"0123456789ABCDEF"[value & 0xF]);
            value >>= 4;
        } while (value);
        return L"0x" + digits;
    };

    switch (style & MB_ICONMASK)
    {
    case 0: break;
    case MB_ICONHAND: add(L"MB_ICONERROR"); break;
    case MB_ICONQUESTION: add(L"MB_ICONQUESTION"); break;
    case MB_ICONEXCLAMATION: add(L"MB_ICONWARNING"); break;
    case MB_ICONASTERISK: add(L"MB_ICONINFORMATION"); break;
    case MB_USERICON: add(L"MB_USERICON"); break;
    default: add(hex(style & MB_ICONMASK)); break;
    }

    static const wchar_t* const c_rgszTypes[] = {L"MB_OK", L"MB_OKCANCEL", L"MB_ABORTRETRYIGNORE", L"MB_YESNOCANCEL",
                                                 L"MB_YESNO", L"MB_RETRYCANCEL", L"MB_CANCELTRYCONTINUE"};
    const UINT type = style & MB_TYPEMASK;
    add(type < ARRAYSIZE(c_rgszTypes) ? std::wstring(c_rgszTypes[type]) : hex(type));

    if (style & MB_HELP)
        add(L"MB_HELP");
    const UINT rest = style & ~(MB_ICONMASK | MB_TYPEMASK | MB_HELP);
    if (rest)
        add(hex(rest));
    return text;
}

std::wstring DescribeButton(int idButton)
{
    static const wchar_t* const c_rgszNames[] = {L"0",       L"IDOK",   L"IDCANCEL", L"IDABORT",
                                                 L"IDRETRY", L"IDIGNORE", L"IDYES",  L"IDNO",
                                                 L"IDCLOSE", L"IDHELP", L"IDTRYAGAIN", L"IDCONTINUE"};
    if (idButton >= 0 && idButton < static_cast<int>(ARRAYSIZE(c_rgszNames)))
        return c_rgszNames[idButton];
    return std::to_wstring(idButton);
}
