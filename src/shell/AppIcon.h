#pragma once

#include <QIcon>

namespace shell {

// The application icon: a small globe with a location pin, drawn at every common size.
QIcon applicationIcon();

} // namespace shell
