#pragma once

class QPainter;

// Our own toolbar and header artwork, drawn on a 32 x 32 canvas (the
// PaintedIconEngine scales it). Each function paints one image.
namespace vexo::artwork
{

void drawSetup(QPainter &p);
void drawFormat(QPainter &p);
void drawDelete(QPainter &p);
void drawCopy(QPainter &p);
void drawPaste(QPainter &p);
void drawLargeIcons(QPainter &p);
void drawSmallIcons(QPainter &p);
void drawList(QPainter &p);
void drawDetails(QPainter &p);
void drawPalmtopConnect(QPainter &p);
void drawRefresh(QPainter &p);
void drawExit(QPainter &p);
void drawImageConnect(QPainter &p);
void drawSync(QPainter &p);
void drawFolderUp(QPainter &p);
void drawNewFolder(QPainter &p);

} // namespace vexo::artwork
