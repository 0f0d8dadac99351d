#include "platform/host/MessageBox.h"

#include "platform/host/App.h"
#include "platform/host/HostText.h"

#include <utility>
#include <vector>

namespace VezadHost {

std::string messageBoxButtons(UINT flags)
{
    switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return "OK/Cancel";
    case MB_YESNO:
        return "Yes/No";
    case MB_YESNOCANCEL:
        return "Yes/No/Cancel";
    default:
        return "OK";
    }
}

} // namespace VezadHost

namespace {

const char* answerName(int answer)
{
    switch (answer) {
    case IDOK:
        return "OK";
    case IDYES:
        return "Yes";
    case IDNO:
        return "No";
    default:
        return "Cancel";
    }
}

const char* iconName(UINT flags)
{
    switch (flags & MB_ICONMASK) {
    case MB_ICONSTOP:
        return " stop";
    case MB_ICONQUESTION:
        return " question";
    case MB_ICONWARNING:
        return " warning";
    case MB_ICONINFORMATION:
        return " information";
    default:
        return "";
    }
}

} // namespace

int VezadMessageBox(const wchar_t* text, const wchar_t* title, UINT flags)
{
    std::vector<std::pair<const char*, int>> answers;
    int fallback = IDCANCEL;
    switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
        answers = {{"ok", IDOK}, {"cancel", IDCANCEL}};
        break;
    case MB_YESNO:
        answers = {{"yes", IDYES}, {"no", IDNO}};
        fallback = IDNO;
        break;
    case MB_YESNOCANCEL:
        answers = {{"yes", IDYES}, {"no", IDNO}, {"cancel", IDCANCEL}};
        break;
    default:
        answers = {{"ok", IDOK}};
        fallback = IDOK;
        break;
    }

    CVezadApp& app = VezadApp();
    CVezadMessageBoxRecord record;
    record.title = VezadHost::toUtf8(title);
    record.text = VezadHost::toUtf8(text);
    record.flags = flags;
    record.answer = fallback;
    if (const std::string* next = app.InputQueue().peek()) {
        for (const auto& [word, answer] : answers) {
            if (VezadHost::equalsNoCase(*next, word)) {
                record.answer = answer;
                record.answered = true;
                std::string taken;
                app.InputQueue().pop(taken);
                break;
            }
        }
    }
    const std::string buttons = VezadHost::messageBoxButtons(flags);
    app.Print("[box%s] %s: %s [%s] -> %s%s\n", iconName(flags), record.title.c_str(),
              record.text.c_str(), buttons.c_str(), answerName(record.answer),
              record.answered ? "" : " (unanswered)");
    app.logMessageBox(record);
    // A question the script left open is a prompt without an answer; a plain
    // notice needs none.
    if (!record.answered && answers.size() > 1)
        app.logUnansweredPrompt(record.title + ": " + record.text + " [" + buttons + "]");
    return record.answer;
}
