// The program's own error for faults the user must see and mend.
#pragma once

#include <fmt/format.h>

#include <stdexcept>
#include <string>

namespace wnd {

class UserErrorException : public std::runtime_error {
  public:
    UserErrorException(int number, const std::string& text)
        : std::runtime_error(number == 99 ? text : fmt::format("{}: {}", number, text)),
          number_(number) {}

    int number() const noexcept { return number_; }

  private:
    int number_;
};

}  // namespace wnd
