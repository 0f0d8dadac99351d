// The host's message box. Headless, it takes its answer from the input
// queue: the next token when it is an answer the box offers (`ok`, `yes`,
// `no`, `cancel`, any case); otherwise the box stays unanswered and gives
// the safe default: OK for an OK box, No for a Yes/No box and Cancel for a
// Yes/No/Cancel or OK/Cancel box. A box that asked a question and stayed
// unanswered counts as an unanswered prompt. Every box is logged (title,
// text, buttons, answer) and printed to the transcript.
#pragma once

#include "platform/win32/WindowsSubset.h"

#include <string>

// Shows text with title, buttons and icon from the MB_ flags; answers IDOK,
// IDYES, IDNO or IDCANCEL.
int VezadMessageBox(const wchar_t* text, const wchar_t* title, UINT flags = MB_OK);

namespace VezadHost {

// "OK", "OK/Cancel", "Yes/No" or "Yes/No/Cancel" for the button bits.
std::string messageBoxButtons(UINT flags);

} // namespace VezadHost
