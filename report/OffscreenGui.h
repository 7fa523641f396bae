// A QGuiApplication for a program that draws without a screen.
#pragma once

namespace dqreport {

// Makes one QGuiApplication on the offscreen platform unless the program
// has one already; it lives until the program ends. Fonts come from
// fontconfig, so no display and no QT_QPA_PLATFORM are needed.
void EnsureGuiApplication();

}  // namespace dqreport
