// The one exception type: thrown by the local folder and file helpers.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace veilmark {

class ProtocolException : public std::exception {
 public:
  ProtocolException(std::u16string message, std::int32_t code)
      : message_(std::move(message)), code_(code) {}

  const char* what() const noexcept override { return "Veilmark Protocol Exception Occured"; }
  const std::u16string& message() const { return message_; }
  std::int32_t code() const { return code_; }

 private:
  std::u16string message_;
  std::int32_t code_;
};

}  // namespace veilmark
