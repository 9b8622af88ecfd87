// The desktop's helper programs, run as child processes: file and folder requesters through
// zenity (or kdialog), and opening urls and documents through xdg-open.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/String.h"
#include "system/Requester.h"

namespace corvex {

// A program and its arguments, the program first.
using ToolCommand = std::vector<String>;

// One command line for LaunchProcess: every word quoted so that it arrives unchanged.
String ToolCommandLine(const ToolCommand& words);

// zenity's file requester. Group `preselect` (1-based, 0 for none) is listed first, so the
// requester starts with it; `startPath` is the directory and file name to open with ("" none).
ToolCommand ZenityFileCommand(const String& title, const std::vector<FileFilterGroup>& groups,
                              int32_t preselect, bool save, const String& startPath);
// kdialog's file requester, with the same meaning of the arguments.
ToolCommand KdialogFileCommand(const String& title, const std::vector<FileFilterGroup>& groups,
                               int32_t preselect, bool save, const String& startPath);
// zenity's folder requester, with `folder` selected ("" none).
ToolCommand ZenityFolderCommand(const String& title, const String& folder);
// kdialog's folder requester.
ToolCommand KdialogFolderCommand(const String& title, const String& folder);

// Runs the first of the commands whose program can be started, waits until it ends and answers
// the first line it printed (a requester's chosen path), or "" when none could start.
String RunFirstTool(const std::vector<ToolCommand>& candidates);

// The command that hands a url to xdg-open in the background and prints "started" once it ran.
ToolCommand DesktopOpenCommand(const String& url);
// Hands the url to xdg-open, detached so that what it opens outlives the program; 1 when
// xdg-open was started, 0 when it is missing or could not be started.
int32_t OpenWithDesktop(const String& url);

}  // namespace corvex
