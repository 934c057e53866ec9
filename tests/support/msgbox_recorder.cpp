// The in-process message box recorder: a thread CBT hook sees each box as it is activated, which happens while
// the box initialises (under Wine from the focus change at the end of WM_INITDIALOG), when caption, text, icon
// and buttons are already in place. The answer is posted and handled by the box's own modal loop.
#include "msgbox_recorder.h"

#include <algorithm>
#include <utility>

namespace
{
// Marks a box as recorded, so that activating it again records nothing.
const wchar_t c_szRecordedProp[] = L"LumenixTests.BoxRecorded";

struct CThreadState
{
    HHOOK hHook = nullptr;
    CMessageBoxRecorder* pCurrent = nullptr;
};

thread_local CThreadState t_state;
} // namespace

CMessageBoxRecorder::CMessageBoxRecorder(std::vector<int> answers) : m_answers(std::move(answers))
{
    m_pPrevious = t_state.pCurrent;
    if (!t_state.hHook)
    {
        m_hHook = SetWindowsHookExW(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
        t_state.hHook = m_hHook;
    }
    t_state.pCurrent = this;
}

CMessageBoxRecorder::~CMessageBoxRecorder()
{
    for (const CPending& pending : m_pending)
        KillTimer(nullptr, pending.idTimer);
    m_pending.clear();

    if (t_state.pCurrent == this)
        t_state.pCurrent = m_pPrevious;
    if (m_hHook)
    {
        UnhookWindowsHookEx(m_hHook);
        if (t_state.hHook == m_hHook)
            t_state.hHook = nullptr;
    }
}

bool CMessageBoxRecorder::Installed() const
{
    return t_state.hHook != nullptr && t_state.pCurrent == this;
}

LRESULT CALLBACK CMessageBoxRecorder::CbtProc(int nCode, WPARAM wParam, LPARAM lParam)
{
    CMessageBoxRecorder* pRecorder = t_state.pCurrent;
    if (pRecorder && nCode == HCBT_ACTIVATE)
        pRecorder->OnActivate(reinterpret_cast<HWND>(wParam));
    return CallNextHookEx(t_state.hHook, nCode, wParam, lParam);
}

void CMessageBoxRecorder::OnActivate(HWND hwnd)
{
    if (!IsMessageBoxWindow(hwnd) || GetPropW(hwnd, c_szRecordedProp))
        return;
    CBoxRecord rec;
    if (!ReadMessageBox(hwnd, rec))
        return;
    SetPropW(hwnd, c_szRecordedProp, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(1)));

    if (m_cFailNext > 0)
    {
        // Refusing the dialog's creation instead would make Wine's MessageBoxW return -1, not 0.
        --m_cFailNext;
        m_failed.push_back(rec);
        EndDialog(hwnd, 0);
        return;
    }

    if (m_iNextAnswer < m_answers.size())
    {
        const int idAnswer = m_answers[m_iNextAnswer++];
        if (AnswerMessageBox(hwnd, idAnswer))
        {
            rec.answer = idAnswer;
            m_boxes.push_back(rec);
            return;
        }
    }

    // The default button is known only once the box has finished initialising: answer from a timer, which the
    // box's modal loop dispatches after that.
    m_boxes.push_back(rec);
    const UINT_PTR idTimer = SetTimer(nullptr, 0, 1, AnswerLater);
    if (idTimer)
    {
        m_pending.push_back(CPending{idTimer, hwnd, m_boxes.size() - 1});
        return;
    }
    const int idDefault = GetMessageBoxDefaultButton(hwnd);
    if (idDefault && AnswerMessageBox(hwnd, idDefault))
        m_boxes.back().answer = idDefault;
}

void CALLBACK CMessageBoxRecorder::AnswerLater(HWND, UINT, UINT_PTR idEvent, DWORD)
{
    KillTimer(nullptr, idEvent);
    for (CMessageBoxRecorder* pRecorder = t_state.pCurrent; pRecorder; pRecorder = pRecorder->m_pPrevious)
        pRecorder->AnswerPending(idEvent);
}

void CMessageBoxRecorder::AnswerPending(UINT_PTR idTimer)
{
    auto it = std::find_if(m_pending.begin(), m_pending.end(),
                           [idTimer](const CPending& pending) { return pending.idTimer == idTimer; });
    if (it == m_pending.end())
        return;
    const CPending pending = *it;
    m_pending.erase(it);
    if (!IsWindow(pending.hwndBox))
        return;

    int idAnswer = GetMessageBoxDefaultButton(pending.hwndBox);
    if (!idAnswer)
    {
        const std::vector<int> buttons = GetMessageBoxButtons(pending.hwndBox);
        if (!buttons.empty())
            idAnswer = buttons.front();
    }
    if (idAnswer && AnswerMessageBox(pending.hwndBox, idAnswer) && pending.iBox < m_boxes.size())
        m_boxes[pending.iBox].answer = idAnswer;
}
