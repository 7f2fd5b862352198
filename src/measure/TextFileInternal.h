#pragma once
// Shared by the stored files of this folder (objectives, sidecars): numbers written and read
// the same whatever the process locale, escaped text fields, and whole-file reads and writes.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qelvo::measure::text {

// Shortest text that reads back as the same double ("0.5", "1e-07"); locale-independent.
std::string formatDouble(double value);
// A whole decimal number (no spaces, no hex, no inf/nan); nothing when it is anything else.
std::optional<double> parseDouble(std::string_view text);
std::optional<long long> parseInteger(std::string_view text);
// Fixed-point with at most `significant` significant digits, trailing zeros dropped
// ("12.5", "0.0035", "1200"); never an exponent.
std::string formatFixed(double value, int significant);

// Backslash escapes for tab, line feed, carriage return and the backslash itself, so that a
// field never holds a separator.  Unescaping refuses any other escape and raw control bytes.
std::string escapeField(std::string_view text);
std::optional<std::string> unescapeField(std::string_view text);

// Splits at tabs (an empty text gives one empty field).
std::vector<std::string_view> splitFields(std::string_view line);
// Splits at line feeds, dropping one carriage return before each; the text after the last
// line feed is the last line (empty when the text ends with a line feed).
std::vector<std::string_view> splitLines(std::string_view text);

// Reads a regular file of at most `limit` bytes.  `missing` is set when there is no file.
std::optional<std::string> readFile(const std::string& path, std::size_t limit, std::string* error,
                                    bool* missing = nullptr);
// Writes a temporary file beside `path`, flushes it to disk and renames it over `path`, so
// readers see the old file or the new one, never a part.  The folder must exist.
bool writeFileWhole(const std::string& path, std::string_view bytes, std::string* error);
// Makes the folder and its parents.
bool makeFolders(const std::string& path, std::string* error);
// Sets `*error` when `error` is not null.
bool fail(std::string* error, std::string message);

}  // namespace qelvo::measure::text
