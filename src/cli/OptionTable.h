#pragma once

// Command-line options spelled once. A command lists its options in one table: name, kind of
// value, help text and the window control the option sets. The parser, the help text (with
// each default read from the window's design) and the mapping onto the window's controls are
// all driven by that table, so an option cannot be parsed but not applied, or applied but not
// documented.

#include "text/GbkText.h"
#include "web/PageRetry.h"
#include "ui/ControlNames.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::ui {
class Window;
}

namespace quillet::cli {

enum class ValueKind {
    Text,     // any text; UTF-8 on the command line, GBK in the control
    Path,     // a file or folder path (as Text)
    TextFile, // a file whose content (UTF-8 or GBK, CR LF line ends made) goes into the control
    Count,    // a whole number, 0 or more
    Integer,  // a whole number, with an optional sign
    Decimal,  // a number such as 0.5 (digits and at most one dot)
    Choice,   // one of `choices`: selects that item of a drop-down list, or ticks that radio button
    Toggle,   // no value: --NAME ticks the check box, --no-NAME clears it
    Switch,   // no value: --NAME alone (the command acts on it)
};

struct OptionInfo {
    std::string_view name; // without the leading "--"
    ValueKind kind = ValueKind::Text;
    std::string_view valueName; // shown in the help: FILE, N, ...
    // One line of help; a '\n' starts a continuation line.
    std::string_view help;
    // The control the option sets; none when the command itself acts on the option.
    std::optional<ui::ControlName> control;
    // A check box a value option also ticks; --no-NAME then clears it (helped by negatedHelp).
    std::optional<ui::ControlName> ticks;
    std::string_view negatedHelp;
    // Choice: the words by item index (a drop-down list), or one radio button per word.
    std::vector<std::string_view> choices;
    std::vector<ui::ControlName> choiceControls;
    // The default shown in the help when it is not read from the control's design.
    std::string_view shownDefault;
    bool repeatable = false;
    // Extra check of a value and what the option expects, for the error message.
    bool (*accepts)(std::string_view value) = nullptr;
    std::string_view expects;
};

// One option as given on the command line.
struct GivenOption {
    const OptionInfo* option = nullptr;
    std::string value; // empty for Toggle and Switch
    bool negated = false;
};

struct ParsedOptions {
    std::vector<GivenOption> given; // in command-line order
    bool help = false;

    // The last value given to --name; none when it was not given (or only negated).
    [[nodiscard]] std::optional<std::string> value(std::string_view name) const;
    // Every value given to --name, in order.
    [[nodiscard]] std::vector<std::string> values(std::string_view name) const;
    // True when --name was given (not as --no-name).
    [[nodiscard]] bool has(std::string_view name) const;
};

// Parses the arguments of one command. --help and -h ask for the help text. Options take
// their value as the next argument or after "=". On a bad argument returns false and says
// why in `error`.
[[nodiscard]] bool parseOptions(std::span<const OptionInfo> table, const std::vector<std::string>& args,
                                ParsedOptions& parsed, std::string& error);

// The option lines of the help text, one option a line, each with its default: read from the
// control in `design` (the window as a fresh program shows it), or the option's shownDefault.
[[nodiscard]] std::string optionsHelp(std::span<const OptionInfo> table, const ui::Window& design);

// Sets the controls of `window` as the given options say, in command-line order. False (with
// the reason) when a TextFile option's file cannot be read; controls set before stay set.
[[nodiscard]] bool applyOptions(const ParsedOptions& parsed, ui::Window& window, std::string& error);

// Sets the retry policy from --retries N and --backoff SECONDS when given.
void applyRetryOptions(const ParsedOptions& parsed, web::RetryPolicy& policy);

// Reads a text file written in UTF-8 (with or without a byte-order mark) or GBK, and gives it
// as GBK with CR LF line ends. False when the file cannot be read.
[[nodiscard]] bool readTextFileAsGbk(const std::string& path, GbkText& content);

} // namespace quillet::cli
