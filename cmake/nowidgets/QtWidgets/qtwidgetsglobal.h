// SPDX-License-Identifier: MIT
// Shadows Qt's own header for the libraries below the window: every widget header includes
// it, so a widget header there stops the build.
#error "Only the window and the views on top of it may include a Qt Widgets header."
