// Records and answers the message boxes the current thread shows, so that code under test can call MessageBoxW
// without anybody at the keyboard.
#pragma once

#include <windows.h>

#include <vector>

#include "box_reader.h"

// Watches the current thread's message boxes from construction to destruction through a thread CBT hook. Each
// box is recorded once, as it opens, then answered: with the scripted buttons in order, and once they are used up
// (or a scripted button is not on the box) with the box's default button.
//
// One recorder is in charge of a thread at a time: a recorder made while another one is alive on the thread takes
// over until it is destroyed (destroy them in reverse order, as scopes do).
class CMessageBoxRecorder
{
public:
    explicit CMessageBoxRecorder(std::vector<int> answers = {});
    ~CMessageBoxRecorder();

    CMessageBoxRecorder(const CMessageBoxRecorder&) = delete;
    CMessageBoxRecorder& operator=(const CMessageBoxRecorder&) = delete;

    // The boxes seen so far, in the order they opened; answer holds the button that closed each one.
    const std::vector<CBoxRecord>& Boxes() const { return m_boxes; }

    // The next count message boxes of this thread fail: each is ended as it opens, before it is shown, and
    // MessageBoxW returns 0 as it does when it cannot show a box. They are not in Boxes() and use up no
    // scripted answer.
    void FailNextBoxes(int count) { m_cFailNext = count > 0 ? count : 0; }

    // The boxes failed through FailNextBoxes so far.
    const std::vector<CBoxRecord>& FailedBoxes() const { return m_failed; }

    // Whether the hook is in place.
    bool Installed() const;

private:
    struct CPending
    {
        UINT_PTR idTimer;
        HWND hwndBox;
        size_t iBox;
    };

    static LRESULT CALLBACK CbtProc(int nCode, WPARAM wParam, LPARAM lParam);
    static void CALLBACK AnswerLater(HWND hwnd, UINT uMsg, UINT_PTR idEvent, DWORD dwTime);

    void OnActivate(HWND hwnd);
    void AnswerPending(UINT_PTR idTimer);

    std::vector<int> m_answers;
    size_t m_iNextAnswer = 0;
    std::vector<CBoxRecord> m_boxes;
    std::vector<CPending> m_pending;
    std::vector<CBoxRecord> m_failed;
    int m_cFailNext = 0;
    HHOOK m_hHook = nullptr;                   // set when this recorder installed the thread's hook
    CMessageBoxRecorder* m_pPrevious = nullptr; // the recorder this one took over from
};
