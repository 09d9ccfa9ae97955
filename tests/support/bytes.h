// SPDX-License-Identifier: MIT
#pragma once

// Between the tests' QByteArray and the spans and arrays of the byte-level code.

#include <QByteArray>

#include <cstdint>
#include <span>

namespace vantor::testing {

inline std::span<const std::uint8_t> bytesOf(const QByteArray &block)
{
    return { reinterpret_cast<const std::uint8_t *>(block.constData()),
             static_cast<std::size_t>(block.size()) };
}

// A snapshot, a block or a span as a QByteArray, for QCOMPARE and hex.
template<class Bytes> QByteArray toByteArray(const Bytes &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

} // namespace vantor::testing
