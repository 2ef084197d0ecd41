#include "outlook/memory/call_recorder.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <stdexcept>

namespace veilmark::outlook {

void Trace::Add(std::string line) {
  if (echo_) *echo_ << "trace: " << line << std::endl;
  lines_.push_back(std::move(line));
}

std::string HrText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

CallRecorder::CallRecorder(const char* kind, std::initializer_list<const char*> operations)
    : kind_(kind) {
  AddOperations(operations);
}

void CallRecorder::AddOperations(std::initializer_list<const char*> operations) {
  for (const char* operation : operations) operations_.insert(operation);
}

void CallRecorder::Fail(const std::string& operation, HRESULT hr, int fromCall) {
  if (operations_.count(operation) == 0) {
    throw std::invalid_argument(std::string(kind_) + " has no operation " + operation);
  }
  if (SUCCEEDED(hr)) throw std::invalid_argument("a failure needs a failing HRESULT");
  failing_[operation] = {hr, fromCall};
}

void CallRecorder::Heal(const std::string& operation) {
  failing_.erase(operation);
}

int CallRecorder::Calls(const std::string& operation) const {
  return static_cast<int>(std::count(calls_.begin(), calls_.end(), operation));
}

void CallRecorder::Adopt(CallRecorder& child, const std::string& name) const {
  if ((!journal && !trace) || child.journal || child.trace) return;
  child.label = label + "." + name;
  child.journal = journal;
  child.trace = trace;
}

HRESULT CallRecorder::Enter(const char* operation) {
  if (operations_.count(operation) == 0) {
    throw std::logic_error(std::string("undeclared operation ") + kind_ + "." + operation);
  }
  calls_.push_back(operation);
  if (journal) journal->push_back(label + "." + operation);
  const auto failure = failing_.find(operation);
  if (failure != failing_.end() && Calls(operation) >= failure->second.fromCall) {
    return failure->second.hr;
  }
  return S_OK;
}

void CallRecorder::Traced(const char* operation, const std::string& detail, HRESULT hr) const {
  if (!trace) return;
  std::string line = std::string(kind_) + "." + operation;
  if (!detail.empty()) line += "(" + detail + ")";
  if (FAILED(hr)) line += " failed " + HrText(hr);
  trace->Add(std::move(line));
}

}  // namespace veilmark::outlook
