// The batch page's saved defaults as named text values: what "既定保存"
// writes and how "既定のインポート" reads it back. The store itself (the
// registry on Windows, a settings file elsewhere) belongs to the caller.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/settings.h"

namespace qv::engine {

struct NamedText {
    std::string name;
    std::string text;

    friend bool operator==(const NamedText&, const NamedText&) = default;
};

// A value as the store holds it.
struct StoredValue {
    enum class Kind { Missing, Text, OtherType };
    Kind kind = Kind::Missing;
    std::string text;

    static StoredValue missing() { return {}; }
    static StoredValue of(std::string t) { return {Kind::Text, std::move(t)}; }
    static StoredValue otherType() { return {Kind::OtherType, {}}; }
};

// Every value of the batch page, in the order they are saved: the three
// times each with its date and time box, the four attribute boxes, each
// row's value text and tick, and the backup box with its folder and
// generations.
std::vector<NamedText> EncodeDefaults(const BatchSettings& settings);

struct DefaultsImport {
    BatchSettings settings;
    // The name of a value that exists but is not text: the import stopped
    // there, with the values read before it applied.
    std::optional<std::string> wrongType;
};

// Reads the values in import order onto the current settings. Missing or
// unusable values take their defaults (now for the times and for the
// created and last-saved rows). Nothing is read after a wrong-typed value.
DefaultsImport DecodeDefaults(const BatchSettings& current,
                              const std::function<StoredValue(const std::string& name)>& read,
                              LocalDateTime now);

}  // namespace qv::engine
