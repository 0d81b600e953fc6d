#include "settings/parameter.h"

#include <fmt/format.h>

#include <pugixml.hpp>

namespace wnd {

namespace {

// pugixml's own conversions, so values read as they do from an attribute.
pugi::xml_attribute scratchAttribute(std::string_view text, pugi::xml_document& doc) {
    pugi::xml_attribute a = doc.append_child("p").append_attribute("v");
    a.set_value(std::string(text).c_str());
    return a;
}

}  // namespace

void BoolParameter::setFromText(std::string_view text) {
    pugi::xml_document doc;
    set(scratchAttribute(text, doc).as_bool(false));
}

IntParameter::IntParameter(std::string key, int def, int min, int max, int controlId)
    : Parameter(std::move(key), controlId), default_(def), min_(min), max_(max), value_(def) {}

IntParameter::IntParameter(std::string key, int def, std::vector<int> allowed, int controlId)
    : Parameter(std::move(key), controlId),
      default_(def),
      min_(allowed.front()),
      max_(allowed.back()),
      allowed_(std::move(allowed)),
      value_(def) {}

void IntParameter::set(int v) {
    value_.store(clamp(v));
}

void IntParameter::setFromText(std::string_view text) {
    pugi::xml_document doc;
    set(scratchAttribute(text, doc).as_int(0));
}

std::string StringParameter::value() const {
    MutexLock lock(mu_);
    return value_;
}

void StringParameter::set(std::string v) {
    MutexLock lock(mu_);
    value_ = std::move(v);
}

void StringParameter::setDefault(std::string def) {
    MutexLock lock(mu_);
    default_ = std::move(def);
}

std::string StringParameter::defaultText() const {
    MutexLock lock(mu_);
    return default_;
}

std::string FloatListParameter::valueText() const {
    return fmt::format("{:.1f}", value());
}

std::string FloatListParameter::defaultText() const {
    return fmt::format("{:.1f}", default_);
}

void FloatListParameter::setFromText(std::string_view text) {
    pugi::xml_document doc;
    set(scratchAttribute(text, doc).as_double(default_));
}

}  // namespace wnd
