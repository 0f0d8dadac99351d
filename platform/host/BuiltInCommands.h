// The host's own commands:
//   _New              empties the document (close-document, then new-document
//                     event)
//   _Open <path>      reads a ".vzd" document, checking the whole file before
//                     the open document is replaced
//   _Save <path>      writes the document as ".vzd"
//   _Import <path>    hands the file to the plug-in offering its extension
//                     (compared without case)
//   _Undo             undoes the newest undo record
//   _Delete           deletes the selected or picked objects
//   _Tolerance <v>    sets the absolute tolerance
//   _ShadedViewport, _WireframeViewport   the active view's display mode
//   _Zoom [_A] _E     zooms the active view (with _A, every view) to the
//                     visible objects and what the draw callbacks add
//   _MaxViewPort      maximises or restores the active view (recorded only:
//                     a headless view keeps its size)
// A missing argument is asked for on the command line. _New, _Open, _Undo
// and the view commands get no undo record of their own.
//
// The commands live while the host runs: the host makes them at start and
// destroys them at shutdown. Not thread-safe.
#pragma once

#include <memory>
#include <vector>

class CVezadCommand;

namespace VezadHost {

class BuiltInCommands {
public:
    BuiltInCommands();
    ~BuiltInCommands();

private:
    std::vector<std::unique_ptr<CVezadCommand>> m_commands;
};

} // namespace VezadHost
