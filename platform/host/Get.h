// Getters: what a command asks the user on the command line. CVezadGet
// holds the prompt and the command options (toggles, integers and numbers
// bound to the caller's variables); CVezadGetObject picks document objects.
//
// A getter prints its prompt with the options, for example
//   Select Mesh Objects for Import, press Enter when done ( File=No Count=5 )
// and takes its answers from the host's input queue:
//   Name=Value   sets an option (Yes/No for a toggle as its two values name
//                them, or a number within the option's limits) and answers
//                `option`; a value that does not parse or lies outside the
//                limits is refused with a message and the prompt repeats;
//   pick:<sel>   picks objects: #k (the k-th object added, from 0),
//                id:<uuid>, name:<text>, type:mesh|curve|surface|brep,
//                edge:<sel>:<k> and face:<sel>:<k> for a Brep's edge or face;
//                a selection that picks nothing says so and the prompt repeats;
//   Enter        ends picking: `object` with picks, `nothing` without when
//                nothing is accepted, else `cancel`;
//   Escape       `cancel`.
// A prompt that finds the queue empty answers `cancel` and is logged as
// unanswered. Options are bound by pointer: the variables must outlive the
// getter. Not thread-safe.
#pragma once

#include "platform/host/Object.h"

#include <string>
#include <vector>

class CVezadGet {
public:
    enum result {
        cancel = 0,
        nothing = 1,
        option = 2,
        object = 3,
    };

    CVezadGet() = default;
    virtual ~CVezadGet() = default;

    void SetCommandPrompt(const wchar_t* prompt) { m_prompt = ON_wString(prompt); }
    // Enter without a pick answers `nothing` instead of `cancel`.
    void AcceptNothing(bool enable = true) { m_acceptNothing = enable; }

    // Each answers the new option's index (from 1), or 0 (nothing added) for
    // an empty name, a null variable or limits in the wrong order.
    int AddCommandOptionToggle(const wchar_t* englishName, const wchar_t* offValue,
                               const wchar_t* onValue, bool* value);
    int AddCommandOptionInteger(const wchar_t* englishName, int* value, int lowerLimit,
                                int upperLimit);
    int AddCommandOptionNumber(const wchar_t* englishName, double* value, double lowerLimit,
                               double upperLimit);
    void ClearCommandOptions() { m_options.clear(); }
    // The option set by the last `option` answer (its index from 1), else 0.
    int OptionIndex() const { return m_optionIndex; }

protected:
    // The prompt line with the options.
    std::string promptLine(const std::string& prompt) const;
    // Applies a Name=Value token. False with a message when the name or the
    // value is refused (the variable unchanged).
    enum class OptionAnswer { notAnOption, refused, set };
    OptionAnswer applyOption(const std::string& token);

    ON_wString m_prompt;
    bool m_acceptNothing = false;
    int m_optionIndex = 0;

private:
    struct Option {
        enum Kind { toggle, integer, number } kind;
        std::string name;
        std::string offValue;
        std::string onValue;
        bool* toggleValue = nullptr;
        int* integerValue = nullptr;
        double* numberValue = nullptr;
        double lower = 0.0;
        double upper = 0.0;
    };
    std::string optionText(const Option& option) const;

    std::vector<Option> m_options;
};

class CVezadGetObject : public CVezadGet {
public:
    CVezadGetObject() = default;
    ~CVezadGetObject() override;

    // A bitwise or of ON::object_type values; 0 accepts every type.
    void SetGeometryFilter(unsigned int filter) { m_filter = filter; }
    unsigned int GeometryFilter() const { return m_filter; }

    // Objects selected when GetObjects starts are taken at once (on by
    // default).
    void EnablePreSelect(bool enable = true) { m_preSelect = enable; }
    // Adds ", press Enter when done" to the prompt.
    void EnablePressEnterWhenDonePrompt(bool enable = true) { m_pressEnterPrompt = enable; }
    // Forgets the objects of earlier calls when GetObjects starts (off by
    // default: picks made before an option answer are kept).
    void EnableClearObjectsOnEntry(bool enable = true) { m_clearOnEntry = enable; }
    // Whether objects selected already may be picked (on by default).
    void EnableAlreadySelectedObjectSelect(bool enable = true) { m_alreadySelected = enable; }
    // Unselects every other object at the first pick of a call (on by
    // default).
    void EnableDeselectAllBeforePostSelect(bool enable = true) { m_deselectFirst = enable; }

    // Picks between minimumNumber and maximumNumber objects (0: no upper
    // limit; a pick that reaches the maximum ends the call). Picked objects
    // are selected. Answers object, option, nothing or cancel.
    result GetObjects(int minimumNumber = 1, int maximumNumber = 1);

    int ObjectCount() const { return static_cast<int>(m_picked.size()); }
    // Requires 0 <= index < ObjectCount().
    const CVezadObjRef& Object(int index) const
    {
        return m_picked[static_cast<std::size_t>(index)];
    }
    void ClearObjects() { m_picked.clear(); }

private:
    // Adds the objects a pick selects; false with a message when none.
    bool pick(const std::string& selection, int maximumNumber, bool& firstPick);
    bool accepts(const CVezadObject& object) const;
    bool alreadyPicked(const CVezadObjRef& ref) const;
    result finishWithPicks(int minimumNumber, bool& done);

    unsigned int m_filter = 0;
    bool m_preSelect = true;
    bool m_pressEnterPrompt = false;
    bool m_clearOnEntry = false;
    bool m_alreadySelected = true;
    bool m_deselectFirst = true;
    std::vector<CVezadObjRef> m_picked;
};
