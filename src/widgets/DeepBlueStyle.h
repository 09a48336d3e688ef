#pragma once

#include <QString>

class QApplication;

namespace vexo
{

// The program's deep blue look: the Fusion style underneath, a matching
// palette and our style sheet.
class DeepBlueStyle
{
public:
    // Resource path of the style sheet.
    static QString resourcePath();
    // The style sheet text; empty only if the resource is missing.
    static QString styleSheet();
    // Applies style, palette and sheet to the whole application.
    static void apply(QApplication &app);
};

} // namespace vexo
