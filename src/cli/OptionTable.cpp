#include "cli/OptionTable.h"

#include "text/Charset.h"
#include "text/Numbers.h"
#include "ui/Window.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace quillet::cli {

namespace {

bool isCount(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool isInteger(std::string_view s)
{
    if (!s.empty() && (s[0] == '-' || s[0] == '+'))
        s.remove_prefix(1);
    return isCount(s);
}

bool isDecimal(std::string_view s)
{
    bool digits = false;
    bool dot = false;
    for (char c : s) {
        if (c >= '0' && c <= '9')
            digits = true;
        else if (c == '.' && !dot)
            dot = true;
        else
            return false;
    }
    return digits;
}

bool takesValue(ValueKind kind)
{
    return kind != ValueKind::Toggle && kind != ValueKind::Switch;
}

std::string joinedChoices(const OptionInfo& option)
{
    std::string s;
    for (size_t i = 0; i < option.choices.size(); ++i) {
        if (i > 0)
            s += i + 1 == option.choices.size() ? " or " : ", ";
        s += option.choices[i];
    }
    return s;
}

// Checks a value against its option's kind; empty when it is fine, else the complaint.
std::string complaint(const OptionInfo& option, const std::string& value)
{
    const std::string flag = "--" + std::string(option.name);
    bool ok = true;
    std::string wanted;
    switch (option.kind) {
    case ValueKind::Count:
        ok = isCount(value);
        wanted = "a whole number";
        break;
    case ValueKind::Integer:
        ok = isInteger(value);
        wanted = "a whole number";
        break;
    case ValueKind::Decimal:
        ok = isDecimal(value);
        wanted = "a number such as 0.5";
        break;
    case ValueKind::Choice: {
        ok = false;
        for (std::string_view word : option.choices)
            ok = ok || value == word;
        if (!ok)
            return flag + " takes " + joinedChoices(option) + ", not \"" + value + "\"";
        break;
    }
    default:
        break;
    }
    if (!ok)
        return flag + " needs " + wanted + ", not \"" + value + "\"";
    if (option.accepts && !option.accepts(value))
        return flag + " takes " + std::string(option.expects) + ", not \"" + value + "\"";
    return {};
}

// Terminal columns of a UTF-8 text: Chinese characters take two.
size_t columns(std::string_view utf8)
{
    size_t n = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) == 0x80)
            continue;
        n += c >= 0xE0 ? 2 : 1;
    }
    return n;
}

void padTo(std::string& line, size_t column)
{
    const size_t have = columns(line);
    line.append(have < column ? column - have : 2, ' ');
}

std::string shownDefault(const OptionInfo& option, const ui::Window& design)
{
    if (!option.shownDefault.empty())
        return std::string(option.shownDefault);
    std::string shown;
    if (option.control) {
        const ui::Control* c = design.find(*option.control);
        if (c && option.kind == ValueKind::Toggle) {
            shown = c->checked() ? "on" : "off";
        } else if (c && option.kind == ValueKind::Choice && option.choiceControls.empty()) {
            const int index = c->selectedIndex();
            shown = index >= 0 && index < static_cast<int>(option.choices.size()) ? std::string(option.choices[index]) : "-";
        } else if (c) {
            shown = text::gbkToUtf8(c->text());
        }
    }
    if (option.kind == ValueKind::Choice && !option.choiceControls.empty()) {
        for (size_t i = 0; i < option.choiceControls.size() && i < option.choices.size(); ++i) {
            const ui::Control* radio = design.find(option.choiceControls[i]);
            if (radio && radio->checked())
                shown = option.choices[i];
        }
    }
    if (option.ticks) {
        const ui::Control* box = design.find(*option.ticks);
        shown += std::string(shown.empty() ? "" : ", ") + (box && box->checked() ? "on" : "off");
    }
    return shown;
}

} // namespace

std::optional<std::string> ParsedOptions::value(std::string_view name) const
{
    std::optional<std::string> last;
    for (const GivenOption& g : given)
        if (g.option->name == name && !g.negated)
            last = g.value;
    return last;
}

std::vector<std::string> ParsedOptions::values(std::string_view name) const
{
    std::vector<std::string> all;
    for (const GivenOption& g : given)
        if (g.option->name == name && !g.negated)
            all.push_back(g.value);
    return all;
}

bool ParsedOptions::has(std::string_view name) const
{
    for (const GivenOption& g : given)
        if (g.option->name == name && !g.negated)
            return true;
    return false;
}

bool parseOptions(std::span<const OptionInfo> table, const std::vector<std::string>& args, ParsedOptions& parsed,
                  std::string& error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (name.rfind("--", 0) == 0) {
            const size_t eq = name.find('=');
            if (eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name.resize(eq);
            }
        }
        const OptionInfo* option = nullptr;
        bool negated = false;
        if (name.rfind("--", 0) == 0) {
            const std::string_view bare = std::string_view(name).substr(2);
            for (const OptionInfo& candidate : table) {
                if (bare == candidate.name) {
                    option = &candidate;
                    break;
                }
                const bool negatable = candidate.kind == ValueKind::Toggle || candidate.ticks.has_value();
                if (negatable && bare.rfind("no-", 0) == 0 && bare.substr(3) == candidate.name) {
                    option = &candidate;
                    negated = true;
                    break;
                }
            }
        }
        if (!option) {
            error = "unknown option \"" + arg + "\"";
            return false;
        }
        GivenOption given{option, {}, negated};
        if (negated || !takesValue(option->kind)) {
            if (inlineValue) {
                error = "option " + name + " takes no value";
                return false;
            }
        } else {
            if (inlineValue) {
                given.value = *inlineValue;
            } else if (i + 1 < args.size()) {
                given.value = args[++i];
            } else {
                error = "option " + name + " needs a value";
                return false;
            }
            if (std::string why = complaint(*option, given.value); !why.empty()) {
                error = why;
                return false;
            }
        }
        parsed.given.push_back(std::move(given));
    }
    return true;
}

std::string optionsHelp(std::span<const OptionInfo> table, const ui::Window& design)
{
    constexpr size_t helpColumn = 26;
    constexpr size_t defaultColumn = 80;
    std::ostringstream out;
    for (const OptionInfo& option : table) {
        std::string line = "  --";
        if (option.kind == ValueKind::Toggle)
            line = "  --[no-]";
        line += option.name;
        if (takesValue(option.kind))
            line += " " + std::string(option.valueName);
        padTo(line, helpColumn);

        std::string_view help = option.help;
        for (size_t nl; (nl = help.find('\n')) != std::string_view::npos; help.remove_prefix(nl + 1)) {
            line += help.substr(0, nl);
            out << line << "\n";
            line.assign(helpColumn, ' ');
        }
        line += help;
        const std::string shown = shownDefault(option, design);
        if (!shown.empty()) {
            padTo(line, defaultColumn);
            line += "[" + shown + "]";
        }
        out << line << "\n";

        if (option.ticks && !option.negatedHelp.empty()) {
            std::string negatedLine = "  --no-" + std::string(option.name);
            padTo(negatedLine, helpColumn);
            out << negatedLine << option.negatedHelp << "\n";
        }
    }
    return out.str();
}

bool applyOptions(const ParsedOptions& parsed, ui::Window& window, std::string& error)
{
    for (const GivenOption& g : parsed.given) {
        const OptionInfo& option = *g.option;
        if (option.ticks)
            if (ui::Control* box = window.find(*option.ticks))
                box->setChecked(!g.negated);
        if (option.kind == ValueKind::Choice && !option.choiceControls.empty()) {
            for (size_t i = 0; i < option.choiceControls.size() && i < option.choices.size(); ++i)
                if (ui::Control* radio = window.find(option.choiceControls[i]))
                    radio->setChecked(g.value == option.choices[i]);
            continue;
        }
        if (!option.control || (g.negated && option.kind != ValueKind::Toggle))
            continue;
        ui::Control* c = window.find(*option.control);
        if (!c)
            continue;
        switch (option.kind) {
        case ValueKind::Toggle:
            c->setChecked(!g.negated);
            break;
        case ValueKind::Choice:
            for (size_t i = 0; i < option.choices.size(); ++i)
                if (g.value == option.choices[i])
                    c->setSelectedIndex(static_cast<int>(i));
            break;
        case ValueKind::TextFile: {
            GbkText content;
            if (!readTextFileAsGbk(g.value, content)) {
                error = "cannot read the file \"" + g.value + "\" given to --" + std::string(option.name);
                return false;
            }
            c->setText(content);
            break;
        }
        case ValueKind::Text:
        case ValueKind::Path:
            c->setText(text::utf8ToGbk(g.value));
            break;
        case ValueKind::Count:
        case ValueKind::Integer:
        case ValueKind::Decimal:
            c->setText(g.value);
            break;
        case ValueKind::Switch:
            break;
        }
    }
    return true;
}

bool readTextFileAsGbk(const std::string& path, GbkText& content)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        return false;
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0)
        bytes.erase(0, 3);
    // Valid UTF-8 is taken as UTF-8 (a plain ASCII file is the same either way); anything
    // else is the program's own GBK.
    const GbkText converted = text::convertToGb18030(bytes, "UTF-8");
    const GbkText& gbkText = converted.empty() ? bytes : converted;
    // Texts typed into a window have CR LF line ends; a file may have LF only.
    content.clear();
    content.reserve(gbkText.size() + gbkText.size() / 16);
    for (size_t i = 0; i < gbkText.size(); ++i) {
        if (gbkText[i] == '\n' && (i == 0 || gbkText[i - 1] != '\r'))
            content += '\r';
        content += gbkText[i];
    }
    return true;
}

void applyRetryOptions(const ParsedOptions& parsed, web::RetryPolicy& policy)
{
    if (const auto retries = parsed.value("retries"))
        policy.refusedRetries = static_cast<int>(std::min<long long>(text::textToInteger(*retries), 1000));
    if (const auto backoff = parsed.value("backoff")) {
        const double ms = std::min(text::textToNumber(*backoff), 86400.0) * 1000.0;
        policy.firstRefusalPauseMs = static_cast<long long>(ms);
        policy.firstFailurePauseMs = static_cast<long long>(ms / 5);
    }
}

} // namespace quillet::cli
