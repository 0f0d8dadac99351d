#include "platform/host/Get.h"

#include "platform/host/App.h"
#include "platform/host/Document.h"
#include "platform/host/HostText.h"

#include <cmath>
#include <cstdio>

using VezadHost::equalsNoCase;
using VezadHost::toUtf8;

int CVezadGet::AddCommandOptionToggle(const wchar_t* englishName, const wchar_t* offValue,
                                      const wchar_t* onValue, bool* value)
{
    if (!englishName || !*englishName || !offValue || !onValue || !value)
        return 0;
    Option o{Option::toggle, toUtf8(englishName), toUtf8(offValue), toUtf8(onValue)};
    o.toggleValue = value;
    m_options.push_back(o);
    return static_cast<int>(m_options.size());
}

int CVezadGet::AddCommandOptionInteger(const wchar_t* englishName, int* value, int lowerLimit,
                                       int upperLimit)
{
    if (!englishName || !*englishName || !value || lowerLimit > upperLimit)
        return 0;
    Option o{Option::integer, toUtf8(englishName), {}, {}};
    o.integerValue = value;
    o.lower = lowerLimit;
    o.upper = upperLimit;
    m_options.push_back(o);
    return static_cast<int>(m_options.size());
}

int CVezadGet::AddCommandOptionNumber(const wchar_t* englishName, double* value, double lowerLimit,
                                      double upperLimit)
{
    if (!englishName || !*englishName || !value || !std::isfinite(lowerLimit) ||
        !std::isfinite(upperLimit) || lowerLimit > upperLimit)
        return 0;
    Option o{Option::number, toUtf8(englishName), {}, {}};
    o.numberValue = value;
    o.lower = lowerLimit;
    o.upper = upperLimit;
    m_options.push_back(o);
    return static_cast<int>(m_options.size());
}

std::string CVezadGet::optionText(const Option& option) const
{
    char value[64];
    switch (option.kind) {
    case Option::toggle:
        return option.name + "=" + (*option.toggleValue ? option.onValue : option.offValue);
    case Option::integer:
        std::snprintf(value, sizeof value, "%d", *option.integerValue);
        break;
    case Option::number:
        std::snprintf(value, sizeof value, "%g", *option.numberValue);
        break;
    }
    return option.name + "=" + value;
}

std::string CVezadGet::promptLine(const std::string& prompt) const
{
    std::string line = prompt;
    if (!m_options.empty()) {
        line += " (";
        for (const Option& option : m_options) {
            line += ' ';
            line += optionText(option);
        }
        line += " )";
    }
    return line;
}

CVezadGet::OptionAnswer CVezadGet::applyOption(const std::string& token)
{
    std::size_t equals = token.find('=');
    if (equals == std::string::npos || equals == 0)
        return OptionAnswer::notAnOption;
    const std::string name = token.substr(0, equals);
    const std::string value = token.substr(equals + 1);
    CVezadApp& app = VezadApp();
    for (std::size_t i = 0; i < m_options.size(); ++i) {
        Option& o = m_options[i];
        if (!equalsNoCase(o.name, name))
            continue;
        bool fits = false;
        if (o.kind == Option::toggle) {
            bool on = equalsNoCase(value, o.onValue);
            if (on || equalsNoCase(value, o.offValue)) {
                *o.toggleValue = on;
                fits = true;
            } else {
                app.Print("Invalid value for %s: %s (%s or %s)\n", o.name.c_str(), value.c_str(),
                          o.offValue.c_str(), o.onValue.c_str());
            }
        } else {
            double number = 0.0;
            int integer = 0;
            bool parsed = o.kind == Option::integer ? VezadHost::parseInteger(value, integer)
                                                    : VezadHost::parseNumber(value, number);
            if (o.kind == Option::integer)
                number = integer;
            if (!parsed)
                app.Print("Invalid value for %s: %s\n", o.name.c_str(), value.c_str());
            else if (number < o.lower || number > o.upper)
                app.Print("%s must be from %g to %g; %s refused\n", o.name.c_str(), o.lower,
                          o.upper, value.c_str());
            else if (o.kind == Option::integer)
                *o.integerValue = integer;
            else
                *o.numberValue = number;
            fits = parsed && number >= o.lower && number <= o.upper;
        }
        if (!fits)
            return OptionAnswer::refused;
        m_optionIndex = static_cast<int>(i) + 1;
        return OptionAnswer::set;
    }
    app.Print("Unknown option: %s\n", name.c_str());
    return OptionAnswer::refused;
}

CVezadGetObject::~CVezadGetObject()
{
    CVezadDoc* doc = VezadApp().ActiveDoc();
    if (doc && doc->InGetObject() == this)
        doc->setGetObject(nullptr);
}

bool CVezadGetObject::accepts(const CVezadObject& object) const
{
    return !object.IsDeleted() && !object.IsHidden() && object.PickFilter(*this, false) &&
           (m_alreadySelected || !object.IsSelected());
}

bool CVezadGetObject::alreadyPicked(const CVezadObjRef& ref) const
{
    for (const CVezadObjRef& p : m_picked)
        if (p.m_uuid == ref.m_uuid && p.m_component_type == ref.m_component_type &&
            p.m_component_index == ref.m_component_index)
            return true;
    return false;
}

namespace {

// The objects a selection names (#k, id:, name:, type:), deleted and hidden
// ones included; false for a selection of another form.
bool selectObjects(const CVezadDoc& doc, const std::string& selection,
                   std::vector<CVezadObject*>& objects)
{
    auto startsWith = [&](const char* prefix) { return selection.rfind(prefix, 0) == 0; };
    if (startsWith("#")) {
        int index = 0;
        if (!VezadHost::parseInteger(selection.substr(1), index))
            return false;
        if (CVezadObject* object = doc.ObjectAt(index))
            objects.push_back(object);
        return true;
    }
    if (startsWith("id:")) {
        ON_UUID id;
        if (!id.SetFromString(selection.c_str() + 3))
            return false;
        if (CVezadObject* object = doc.LookupObject(id))
            objects.push_back(object);
        return true;
    }
    const bool byName = startsWith("name:");
    if (!byName && !startsWith("type:"))
        return false;
    const std::string wanted = selection.substr(5);
    for (int i = 0; i < doc.ObjectCount(); ++i) {
        CVezadObject* object = doc.ObjectAt(i);
        if (byName ? object->Attributes().m_name.ToUtf8() == wanted
                   : equalsNoCase(VezadHost::objectTypeName(object->ObjectType()), wanted))
            objects.push_back(object);
    }
    return true;
}

} // namespace

bool CVezadGetObject::pick(const std::string& selection, int maximumNumber, bool& firstPick)
{
    CVezadApp& app = VezadApp();
    CVezadDoc& doc = *app.ActiveDoc();
    std::vector<CVezadObjRef> refs;
    const bool edge = selection.rfind("edge:", 0) == 0;
    if (edge || selection.rfind("face:", 0) == 0) {
        // edge:<selection>:<k> names one Brep and the index of its edge or face.
        std::size_t colon = selection.rfind(':');
        std::vector<CVezadObject*> objects;
        int index = -1;
        if (colon <= 5 || !VezadHost::parseInteger(selection.substr(colon + 1), index) ||
            !selectObjects(doc, selection.substr(5, colon - 5), objects)) {
            app.Print("Unknown pick: pick:%s\n", selection.c_str());
            return false;
        }
        const unsigned int wantedType =
            edge ? ON::curve_object : ON::surface_object | ON::brep_object;
        const ON_Brep* brep = objects.size() == 1 ? ON_Brep::Cast(objects[0]->Geometry()) : nullptr;
        const int count = brep ? (edge ? brep->m_E.Count() : brep->m_F.Count()) : 0;
        if (brep && index >= 0 && index < count && !objects[0]->IsDeleted() &&
            !objects[0]->IsHidden() && (m_filter == 0 || (m_filter & wantedType) != 0) &&
            (m_alreadySelected || !objects[0]->IsSelected()))
            refs.emplace_back(objects[0], edge ? ON_ObjRef::brep_edge : ON_ObjRef::brep_face,
                              index);
    } else {
        std::vector<CVezadObject*> objects;
        if (!selectObjects(doc, selection, objects)) {
            app.Print("Unknown pick: pick:%s\n", selection.c_str());
            return false;
        }
        for (CVezadObject* object : objects)
            if (accepts(*object))
                refs.emplace_back(object);
    }
    std::vector<CVezadObjRef> fresh;
    for (const CVezadObjRef& ref : refs)
        if (!alreadyPicked(ref))
            fresh.push_back(ref);
    if (fresh.empty()) {
        app.Print("Nothing picked by pick:%s\n", selection.c_str());
        return false;
    }
    if (firstPick && m_deselectFirst) {
        doc.UnselectAll();
        for (const CVezadObjRef& p : m_picked)
            if (CVezadObject* object = doc.LookupObject(p.m_uuid))
                object->Select(true);
    }
    firstPick = false;
    for (const CVezadObjRef& ref : fresh) {
        if (maximumNumber > 0 && ObjectCount() >= maximumNumber)
            break;
        m_picked.push_back(ref);
        doc.LookupObject(ref.m_uuid)->Select(true);
    }
    return true;
}

CVezadGet::result CVezadGetObject::GetObjects(int minimumNumber, int maximumNumber)
{
    CVezadApp& app = VezadApp();
    CVezadDoc* doc = app.ActiveDoc();
    m_optionIndex = 0;
    if (!doc)
        return cancel;
    if (m_clearOnEntry)
        m_picked.clear();
    const int needed = minimumNumber > 1 ? minimumNumber : 1;
    if (m_preSelect) {
        std::vector<CVezadObjRef> selected;
        for (int i = 0; i < doc->ObjectCount(); ++i) {
            CVezadObject* object = doc->ObjectAt(i);
            CVezadObjRef ref(object);
            if (object->IsSelected() && object->PickFilter(*this, false) && !alreadyPicked(ref))
                selected.push_back(ref);
        }
        const int total = ObjectCount() + static_cast<int>(selected.size());
        if (!selected.empty() && total >= needed &&
            (maximumNumber <= 0 || total <= maximumNumber)) {
            m_picked.insert(m_picked.end(), selected.begin(), selected.end());
            return object;
        }
    }

    std::string prompt = m_prompt.IsEmpty() ? std::string("Select objects") : m_prompt.ToUtf8();
    if (m_pressEnterPrompt)
        prompt = VezadHost::trimmed(prompt) + ", press Enter when done";
    const CVezadGetObject* outer = doc->InGetObject();
    doc->setGetObject(this);
    result answer = cancel;
    bool firstPick = true;
    for (bool done = false; !done;) {
        std::string token;
        if (!app.takeAnswer(promptLine(prompt), token))
            break;
        if (equalsNoCase(token, "Escape"))
            break;
        if (equalsNoCase(token, "Enter")) {
            if (ObjectCount() == 0) {
                answer = m_acceptNothing ? nothing : cancel;
                break;
            }
            if (ObjectCount() >= needed) {
                answer = object;
                break;
            }
            app.Print("Pick %d more\n", needed - ObjectCount());
            continue;
        }
        if (token.rfind("pick:", 0) == 0) {
            if (pick(token.substr(5), maximumNumber, firstPick) && maximumNumber > 0 &&
                ObjectCount() >= maximumNumber) {
                answer = object;
                break;
            }
            continue;
        }
        switch (applyOption(token)) {
        case OptionAnswer::set:
            answer = option;
            done = true;
            break;
        case OptionAnswer::refused:
            break;
        case OptionAnswer::notAnOption:
            app.Print("Unknown input: %s\n", token.c_str());
            break;
        }
    }
    doc->setGetObject(outer);
    return answer;
}
