#include "platform/host/BuiltInCommands.h"

#include "platform/RegularFile.h"
#include "platform/host/App.h"
#include "platform/host/Command.h"
#include "platform/host/Document.h"
#include "platform/host/DocumentFile.h"
#include "platform/host/Get.h"
#include "platform/host/HostText.h"
#include "platform/host/PlugIn.h"
#include "platform/host/View.h"

#include <filesystem>

namespace {

using VezadHost::equalsNoCase;

class HostCommand : public CVezadCommand {
public:
    HostCommand(const char* id, const wchar_t* name, bool recordsUndo)
        : m_name(name), m_recordsUndo(recordsUndo)
    {
        m_id.SetFromString(id);
    }
    ON_UUID CommandUUID() override { return m_id; }
    const wchar_t* EnglishCommandName() override { return m_name; }
    bool recordsUndo() const override { return m_recordsUndo; }

protected:
    static CVezadApp& app() { return VezadApp(); }
    static CVezadDoc& doc() { return *VezadApp().ActiveDoc(); }

    // The next token as a file name; false (the command cancels) when the
    // prompt finds no answer or Escape.
    static bool takeFileName(const char* prompt, std::string& path)
    {
        return app().takeAnswer(prompt, path) && !equalsNoCase(path, "Escape");
    }

private:
    ON_UUID m_id;
    const wchar_t* m_name;
    bool m_recordsUndo;
};

class NewCommand : public HostCommand {
public:
    NewCommand() : HostCommand("5a0d3e4c-2f61-4b8e-9a57-1c0e6b2d7f01", L"New", false) {}
    result RunCommand(const CVezadCommandContext&) override
    {
        doc().closeContents();
        doc().announceNewDocument();
        return success;
    }
};

class OpenCommand : public HostCommand {
public:
    OpenCommand() : HostCommand("5a0d3e4c-2f61-4b8e-9a57-1c0e6b2d7f02", L"Open", false) {}
    result RunCommand(const CVezadCommandContext&) override
    {
        std::string path;
        if (!takeFileName("File to open", path))
            return cancel;
        std::string error;
        switch (VezadHost::openDocument(doc(), path, error)) {
        case VezadHost::OpenResult::opened:
            return success;
        case VezadHost::OpenResult::openedWithLoss:
            app().Print("%s opened, but %s\n", path.c_str(), error.c_str());
            return failure;
        case VezadHost::OpenResult::refused:
            break;
        }
        app().Print("%s not opened: %s\n", path.c_str(), error.c_str());
        return failure;
    }
};

class SaveCommand : public HostCommand {
public:
    SaveCommand() : HostCommand("5a0d3e4c-2f61-4b8e-9a57-1c0e6b2d7f03", L"Save", true) {}
    result RunCommand(const CVezadCommandContext&) override
    {
        std::string path;
        if (!takeFileName("File to save", path))
            return cancel;
        std::string error;
        if (!VezadHost::saveDocument(doc(), path, error)) {
            app().Print("%s not saved: %s\n", path.c_str(), error.c_str());
            return failure;
        }
        return success;
    }
};

class ImportCommand : public HostCommand {
public:
    ImportCommand() : HostCommand("5a0d3e4c-2f61-4b8e-9a57-1c0e6b2d7f04", L"Import", true) {}
    result RunCommand(const CVezadCommandContext&) override
    {
        std::string path;
        if (!takeFileName("File to import", path))
            return cancel;
        std::string problem;
        if (!Platform::isRegularFile(path, &problem)) {
            app().Print("File %s: %s\n", problem.c_str(), path.c_str());
            return failure;
        }
        std::string extension = std::filesystem::path(path).extension().string();
        if (!extension.empty())
            extension.erase(0, 1);
        CVezadFileReadOptions options;
        options.SetImportMode(true);
        for (const auto& loaded : app().LoadedPlugIns()) {
            auto* importer = dynamic_cast<CVezadFileImportPlugIn*>(loaded.plugIn);
            if (!importer)
                continue;
            ON_ClassArray<CVezadFileType> types;
            importer->AddFileType(types, options);
            for (int i = 0; i < types.Count(); ++i) {
                std::string offered = types[i].Extension().ToUtf8();
                if (!offered.empty() && offered[0] == '.')
                    offered.erase(0, 1);
                if (extension.empty() || !equalsNoCase(offered, extension))
                    continue;
                if (importer->ReadFile(Platform::wideFileName(path).c_str(), i, doc(), options))
                    return success;
                app().Print("Import of %s failed\n", path.c_str());
                return failure;
            }
        }
        app().Print("No importer for .%s\n", extension.c_str());
        return failure;
    }
};

class UndoCommand : public HostCommand {
public:
    UndoCommand() : HostCommand("5a0d3e4c-2f61-4b8e-9a57-1c0e6b2d7f05", L"Undo", false) {}
    result RunCommand(const CVezadCommandContext&) override
    {
        const std::wstring name = doc().newestUndoRecordName();
        if (!doc().undo()) {
            app().Print("Nothing to undo\n");
            return failure;
        }
        app().Print("Undo %ls\n", name.c_str());
        return success;
    }
};

class DeleteCommand : public HostCommand {
public:
    DeleteCommand() : HostCommand("5a0d3e4c-2f61-4b8e-9a57-1c0e6b2d7f06", L"Delete", true) {}
    result RunCommand(const CVezadCommandContext&) override
    {
        CVezadGetObject getter;
        getter.SetCommandPrompt(L"Select objects to delete");
        getter.EnablePressEnterWhenDonePrompt();
        if (getter.GetObjects(1, 0) != CVezadGet::object)
            return cancel;
        int deleted = 0;
        for (int i = 0; i < getter.ObjectCount(); ++i)
            deleted += doc().DeleteObject(getter.Object(i)) ? 1 : 0;
        app().Print("%d objects deleted\n", deleted);
        return success;
    }
};

class ToleranceCommand : public HostCommand {
public:
    ToleranceCommand() : HostCommand("5a0d3e4c-2f61-4b8e-9a57-1c0e6b2d7f07", L"Tolerance", true) {}
    result RunCommand(const CVezadCommandContext&) override
    {
        char prompt[80];
        std::snprintf(prompt, sizeof prompt, "Absolute tolerance <%g>", doc().AbsoluteTolerance());
        std::string token;
        if (!app().takeAnswer(prompt, token) || equalsNoCase(token, "Escape"))
            return cancel;
        double tolerance = 0.0;
        if (!VezadHost::parseNumber(token, tolerance) || !doc().SetAbsoluteTolerance(tolerance)) {
            app().Print("The tolerance must be a positive number, not %s\n", token.c_str());
            return failure;
        }
        return success;
    }
};

// The view commands change views only: they get no undo record.
class DisplayModeCommand : public HostCommand {
public:
    DisplayModeCommand(const char* id, const wchar_t* name, bool shaded)
        : HostCommand(id, name, false), m_shaded(shaded)
    {
    }
    result RunCommand(const CVezadCommandContext&) override
    {
        CVezadView* view = app().ActiveView();
        if (!view) {
            app().Print("No view\n");
            return failure;
        }
        view->ActiveViewport().setShaded(m_shaded);
        view->Redraw();
        return success;
    }

private:
    bool m_shaded;
};

class ZoomCommand : public HostCommand {
public:
    ZoomCommand() : HostCommand("5a0d3e4c-2f61-4b8e-9a57-1c0e6b2d7f0a", L"Zoom", false) {}
    result RunCommand(const CVezadCommandContext&) override
    {
        std::string token;
        if (!app().takeAnswer("Zoom ( All Extents )", token) || equalsNoCase(token, "Escape"))
            return cancel;
        const bool all = isOption(token, "All");
        if (all &&
            (!app().takeAnswer("Zoom all ( Extents )", token) || equalsNoCase(token, "Escape")))
            return cancel;
        if (!isOption(token, "Extents")) {
            app().Print("Unknown zoom option: %s\n", token.c_str());
            return failure;
        }
        std::vector<CVezadView*> views;
        for (const auto& view : app().views())
            if (all || view.get() == app().ActiveView())
                views.push_back(view.get());
        for (CVezadView* view : views) {
            const ON_BoundingBox viewBox = VezadHost::visibleExtents(*view);
            if (viewBox.IsValid())
                view->ActiveViewport().VP().ZoomToBox(viewBox);
            view->Redraw();
        }
        return success;
    }

private:
    // "_A" or "All" (any case) for the option "All".
    static bool isOption(const std::string& token, const std::string& option)
    {
        const std::string underscore = std::string("_").append(option);
        return equalsNoCase(token, option) || equalsNoCase(token, underscore) ||
               equalsNoCase(token, underscore.substr(0, 2));
    }
};

class MaxViewPortCommand : public HostCommand {
public:
    MaxViewPortCommand()
        : HostCommand("5a0d3e4c-2f61-4b8e-9a57-1c0e6b2d7f0b", L"MaxViewPort", false)
    {
    }
    result RunCommand(const CVezadCommandContext&) override
    {
        CVezadView* view = app().ActiveView();
        if (!view) {
            app().Print("No view\n");
            return failure;
        }
        view->setMaximized(!view->IsMaximized());
        return success;
    }
};

} // namespace

namespace VezadHost {

BuiltInCommands::BuiltInCommands()
{
    m_commands.push_back(std::make_unique<NewCommand>());
    m_commands.push_back(std::make_unique<OpenCommand>());
    m_commands.push_back(std::make_unique<SaveCommand>());
    m_commands.push_back(std::make_unique<ImportCommand>());
    m_commands.push_back(std::make_unique<UndoCommand>());
    m_commands.push_back(std::make_unique<DeleteCommand>());
    m_commands.push_back(std::make_unique<ToleranceCommand>());
    m_commands.push_back(std::make_unique<DisplayModeCommand>(
        "5a0d3e4c-2f61-4b8e-9a57-1c0e6b2d7f08", L"ShadedViewport", true));
    m_commands.push_back(std::make_unique<DisplayModeCommand>(
        "5a0d3e4c-2f61-4b8e-9a57-1c0e6b2d7f09", L"WireframeViewport", false));
    m_commands.push_back(std::make_unique<ZoomCommand>());
    m_commands.push_back(std::make_unique<MaxViewPortCommand>());
}

BuiltInCommands::~BuiltInCommands() = default;

} // namespace VezadHost
