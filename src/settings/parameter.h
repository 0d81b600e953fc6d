// Parameter objects: one setting each, named by its key in parameters.xml.
// Values are read by every thread; numbers are atomics and texts are guarded, so a
// reader never sees a half-written value.
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "util/mutex.h"

namespace wnd {

class Parameter {
  public:
    Parameter(std::string key, int controlId) : key_(std::move(key)), controlId_(controlId) {}
    virtual ~Parameter() = default;
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;

    const std::string& key() const { return key_; }
    // Command identifier of the window control bound to it; 0 for none.
    int controlId() const { return controlId_; }

    virtual std::string valueText() const = 0;
    virtual std::string defaultText() const = 0;
    // Takes the text of the file: booleans and numbers as pugixml converts them, numbers
    // clamped into range, anything unreadable as false / 0 (then clamped) / as it is.
    virtual void setFromText(std::string_view text) = 0;
    virtual void resetToDefault() = 0;

  private:
    std::string key_;
    int controlId_;
};

class BoolParameter final : public Parameter {
  public:
    BoolParameter(std::string key, bool def, int controlId = 0)
        : Parameter(std::move(key), controlId), default_(def), value_(def) {}

    bool value() const { return value_.load(); }
    bool defaultValue() const { return default_; }
    void set(bool v) { value_.store(v); }

    std::string valueText() const override { return value() ? "true" : "false"; }
    std::string defaultText() const override { return default_ ? "true" : "false"; }
    void setFromText(std::string_view text) override;
    void resetToDefault() override { set(default_); }

  private:
    const bool default_;
    std::atomic<bool> value_;
};

class IntParameter final : public Parameter {
  public:
    IntParameter(std::string key, int def, int min, int max, int controlId = 0);
    // A dropdown-bound parameter: min and max are the first and last allowed value.
    IntParameter(std::string key, int def, std::vector<int> allowed, int controlId);

    int value() const { return value_.load(); }
    int defaultValue() const { return default_; }
    int min() const { return min_; }
    int max() const { return max_; }
    const std::vector<int>& allowed() const { return allowed_; }
    bool isDropdown() const { return !allowed_.empty(); }
    // Stores the value clamped into min..max (not snapped to the list).
    void set(int v);
    int clamp(int v) const { return v < min_ ? min_ : (v > max_ ? max_ : v); }

    std::string valueText() const override { return std::to_string(value()); }
    std::string defaultText() const override { return std::to_string(default_); }
    void setFromText(std::string_view text) override;
    void resetToDefault() override { set(default_); }

  private:
    const int default_;
    const int min_;
    const int max_;
    const std::vector<int> allowed_;
    std::atomic<int> value_;
};

class StringParameter final : public Parameter {
  public:
    StringParameter(std::string key, std::string def, int controlId = 0)
        : Parameter(std::move(key), controlId), default_(def), value_(std::move(def)) {}

    std::string value() const;
    bool empty() const { return value().empty(); }
    const std::string& defaultValue() const { return default_; }
    // Only PROGRAM_VERSION changes its default: reset writes the running version.
    void setDefault(std::string def);
    void set(std::string v);

    std::string valueText() const override { return value(); }
    std::string defaultText() const override;
    void setFromText(std::string_view text) override { set(std::string(text)); }
    void resetToDefault() override { set(defaultText()); }

  private:
    mutable Mutex mu_;
    std::string default_ GUARDED_BY(mu_);
    std::string value_ GUARDED_BY(mu_);
};

// A dropdown of fractional values shown by the window only (never in the file).
class FloatListParameter final : public Parameter {
  public:
    FloatListParameter(std::string key, double def, std::vector<double> allowed, int controlId)
        : Parameter(std::move(key), controlId),
          default_(def),
          allowed_(std::move(allowed)),
          value_(def) {}

    double value() const { return value_.load(); }
    void set(double v) { value_.store(v); }
    const std::vector<double>& allowed() const { return allowed_; }

    std::string valueText() const override;
    std::string defaultText() const override;
    void setFromText(std::string_view text) override;
    void resetToDefault() override { set(default_); }

  private:
    const double default_;
    const std::vector<double> allowed_;
    std::atomic<double> value_;
};

}  // namespace wnd
