// Read access to a system registry of keys holding typed values, shaped
// after the calls that open a key, query one of its values and close it.
// This platform has no such registry: EmptyRegistry finds no key.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace tarn {

class Registry {
public:
    using Key = std::uint32_t; // an open key

    static constexpr std::uint32_t kLocalMachine = 0x80000002; // root of the machine's keys
    static constexpr std::uint32_t kKeyRead = 0x20019;         // read access, all a reader needs
    static constexpr std::uint32_t kString = 1;                // value types
    static constexpr std::uint32_t kNumber32 = 4;              // little-endian 32-bit number

    struct Value {
        std::uint32_t type = 0;
        QByteArray bytes; // as stored, a string with its terminating NUL if it has one
    };

    virtual ~Registry() = default;
    // Opens `path` below `root` with the access mask `access`; nothing when
    // the key is missing or that access is refused.
    virtual std::optional<Key> openKey(std::uint32_t root, const QString &path,
                                       std::uint32_t access) = 0;
    // Reads the value `name` of an open key; nothing when it is missing or
    // longer than `bufferSize` bytes.
    virtual std::optional<Value> queryValue(Key key, const QString &name, int bufferSize) = 0;
    virtual void closeKey(Key key) = 0;
};

class EmptyRegistry final : public Registry {
public:
    std::optional<Key> openKey(std::uint32_t, const QString &, std::uint32_t) override
    {
        return std::nullopt;
    }
    std::optional<Value> queryValue(Key, const QString &, int) override { return std::nullopt; }
    void closeKey(Key) override {}
};

} // namespace tarn
