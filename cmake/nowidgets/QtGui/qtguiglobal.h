// SPDX-License-Identifier: MIT
// Shadows Qt's own header for the libraries below the window: every Qt Gui header includes it.
#error "Only the window and the views on top of it may include a Qt Gui header."
