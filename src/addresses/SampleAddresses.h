#pragma once

#include <QString>

#include <array>

namespace addresses {

// The three addresses "Load Sample/Example IPs" appends, in this order.
inline const std::array<QString, 3> SampleAddresses{
    QStringLiteral("64.90.182.55"),
    QStringLiteral("82.117.234.206"),
    QStringLiteral("109.148.115.34"),
};

} // namespace addresses
