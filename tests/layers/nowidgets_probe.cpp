// SPDX-License-Identifier: MIT
// Must not compile: see CMakeLists.txt.
#include <QtWidgets/QLabel>
