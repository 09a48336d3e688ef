#pragma once

#include <QString>

namespace vexo
{

class LanguageTable;

// Why the device node of a port cannot serve as the palmtop's line, found by
// opening it the way the serial pipe does (read-write, no controlling
// terminal, non-blocking) and closing it at once. Empty when it opens and is
// a terminal. Otherwise a short reason: the system error in words (see
// SystemErrorText), Status/NotSerial for a node that is no terminal, and for a
// node whose group the user lacks, permission refused, a hint to join that
// group (e.g. dialout). Never changes the node's line settings.
QString DeviceNodeProblem(const LanguageTable &language, const QString &node);

// The status line after a failed connect attempt. With a `problem`:
// Status/CannotOpen ("Cannot open <node>: <problem>"); without one (the node
// opens): Status/NoAnswer, the device did not answer on `node`.
QString DeviceConnectFailedText(const LanguageTable &language, const QString &node, const QString &problem);

} // namespace vexo
