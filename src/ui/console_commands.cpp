#include "ui/console_commands.h"

#include <fmt/format.h>

#include <algorithm>

#include "util/no_destructor.h"
#include "util/strings.h"

namespace wnd {

namespace {

constexpr std::size_t kMaxLine = 1000;

// The next blank-separated word; the rest stays in `rest`.
std::string_view lf_word(std::string_view& rest) {
    rest = gf_trimView(rest);
    const std::size_t end = std::min(rest.find(' '), rest.size());
    const std::string_view w = rest.substr(0, end);
    rest.remove_prefix(end);
    if (!rest.empty()) {
        rest.remove_prefix(1);
    }
    return w;
}

std::string lf_kindWord(ControlKind k) {
    switch (k) {
        case ControlKind::CheckBox:
            return " check box";
        case ControlKind::Button:
            return " button";
        case ControlKind::Edit:
            return "n edit field";
        default:
            return " dropdown";
    }
}

}  // namespace

std::string gf_runConsoleCommand(WindowModel& model, std::string_view line) {
    if (line.size() > kMaxLine) {
        return fmt::format("line of {} characters is too long (at most {})", line.size(), kMaxLine);
    }
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (std::any_of(line.begin(), line.end(), [](char c) {
            return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f;
        })) {
        return "control characters are not allowed";
    }
    std::string_view rest = line;
    const std::string verb = gf_toUpper(lf_word(rest));
    if (verb.empty() || verb.front() == '#') {
        return {};
    }
    if (verb != "CLICK" && verb != "SELECT" && verb != "TYPE") {
        return fmt::format("unknown command '{}' (click NAME, select NAME VALUE, type NAME TEXT)",
                           verb);
    }
    const std::string_view name = lf_word(rest);
    if (name.empty()) {
        return fmt::format("{} needs the name of a control", gf_toUpper(verb));
    }
    const ControlSpec* c = gf_findControl(name);
    if (c == nullptr) {
        return fmt::format("unknown control '{}'", name);
    }
    const ControlState& s = model.state(c->id);
    const bool wantsClick = c->kind == ControlKind::CheckBox || c->kind == ControlKind::Button;
    if ((verb == "CLICK" && !wantsClick) ||
        (verb == "SELECT" && c->kind != ControlKind::Dropdown) ||
        (verb == "TYPE" && c->kind != ControlKind::Edit)) {
        return fmt::format(
            "{} is a{}: use {}", c->name, lf_kindWord(c->kind),
            wantsClick ? "click" : (c->kind == ControlKind::Dropdown ? "select" : "type"));
    }
    if (!s.enabled) {
        return fmt::format("{} is disabled", c->name);
    }
    if (verb == "CLICK") {
        if (!gf_trimView(rest).empty()) {
            return fmt::format("click takes no value ('{}')", gf_trimView(rest));
        }
        model.onClick(c->id);
        return {};
    }
    if (verb == "SELECT") {
        const std::string_view value = gf_trimView(rest);
        for (std::size_t i = 0; i < s.entries.size(); ++i) {
            const std::string& e = s.entries[i];
            const bool match = c->id == ctl::kCallsignList
                                   ? e.substr(0, e.find(' ')) == value || e == value
                                   : e == value;
            if (match) {
                model.onSelect(c->id, static_cast<int>(i));
                return {};
            }
        }
        return fmt::format("'{}' is not in the list of {}", value, c->name);
    }
    // The edit field takes the text as typed, inner blanks included.
    model.onEnter(c->id, std::string(gf_trimView(rest)));
    return {};
}

void ConsoleLines::push(std::string line) {
    MutexLock lock(mu_);
    lines_.push_back(std::move(line));
}

bool ConsoleLines::pop(std::string& line) {
    MutexLock lock(mu_);
    if (lines_.empty()) {
        return false;
    }
    line = std::move(lines_.front());
    lines_.pop_front();
    return true;
}

ConsoleLines& gf_consoleLines() {
    static NoDestructor<ConsoleLines> l;
    return *l;
}

}  // namespace wnd
