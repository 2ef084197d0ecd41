// What the in-memory Outlook records of the calls made on it, and the
// failures it can be told to give.
#pragma once

#include <initializer_list>
#include <iosfwd>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/hresult.h"

namespace veilmark::outlook {

// Calls of many objects in one order, as "<label>.<operation>".
using CallJournal = std::vector<std::string>;

// One readable line per call, with its arguments and how it ended
// ("MailItem.Close(1)", "Attachments.GetItem(3) failed 0x8002000B"), and
// notes such as the events fired. Echoed as "trace: LINE" when given a
// stream.
class Trace {
 public:
  explicit Trace(std::ostream* echo = nullptr) : echo_(echo) {}
  void Add(std::string line);
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::ostream* echo_;
  std::vector<std::string> lines_;
};

// "0x80004005".
std::string HrText(HRESULT hr);

// Sinks advised on one event source, in advise order.
template <class Sink>
class SinkList {
 public:
  void Add(Sink& sink) { sinks_.push_back(&sink); }
  HRESULT Remove(Sink& sink) {
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
      if (*it == &sink) {
        sinks_.erase(it);
        return S_OK;
      }
    }
    return CONNECT_E_NOCONNECTION;
  }
  bool Contains(const Sink& sink) const {
    for (const Sink* advised : sinks_) {
      if (advised == &sink) return true;
    }
    return false;
  }
  std::size_t size() const { return sinks_.size(); }
  // Calls `handler` on each sink; a sink may unadvise itself or another
  // meanwhile, and one unadvised is not called (as a detached COM sink).
  template <class Handler>
  std::vector<HRESULT> Fire(Handler handler) {
    std::vector<HRESULT> results;
    const std::vector<Sink*> now = sinks_;
    for (Sink* sink : now) {
      if (Contains(*sink)) results.push_back(handler(*sink));
    }
    return results;
  }

 private:
  std::vector<Sink*> sinks_;
};

// The calls of one object, by operation name (the method's name in
// object_model.h: "GetSent", "GetProperty", "AsMailItem", ...): counted, in
// the journal as "<label>.<operation>", and in the trace under the object's
// kind. Fail(name, hr) makes that operation fail on this object with `hr`,
// from its next call on or from its n-th call overall.
class CallRecorder {
 public:
  // Makes `operation` fail with `hr` from its `fromCall`-th call (counting
  // every call of it on this object, past ones included) on. Throws
  // std::invalid_argument for a name this object does not have.
  void Fail(const std::string& operation, HRESULT hr = E_FAIL, int fromCall = 1);
  void Heal(const std::string& operation);

  int Calls(const std::string& operation) const;
  const std::vector<std::string>& calls() const { return calls_; }

  // Has `child` write where this object writes, labelled "<label>.<name>";
  // one that writes somewhere already is left as it is.
  void Adopt(CallRecorder& child, const std::string& name) const;

  std::string label;
  std::shared_ptr<CallJournal> journal;  // optional
  std::shared_ptr<Trace> trace;          // optional

 protected:
  CallRecorder(const char* kind, std::initializer_list<const char*> operations);
  void AddOperations(std::initializer_list<const char*> operations);

  // Records the call and runs `body` unless the call is set to fail; the
  // trace shows `detail` in parentheses, and the failure if any.
  template <class Body>
  HRESULT Call(const char* operation, const std::string& detail, Body body) {
    HRESULT hr = Enter(operation);
    if (SUCCEEDED(hr)) hr = body();
    Traced(operation, detail, hr);
    return hr;
  }
  template <class Body>
  HRESULT Call(const char* operation, Body body) {
    return Call(operation, std::string(), std::move(body));
  }
  template <class T>
  HRESULT Get(const char* operation, const T& value, T& out) {
    return Call(operation, [&] {
      out = value;
      return S_OK;
    });
  }
  // A null object where the operation promises one is the adapters' E_POINTER.
  template <class To, class From>
  HRESULT HandOut(const char* operation, const std::shared_ptr<From>& object,
                  std::shared_ptr<To>& out, bool mayBeNull = false) {
    return Call(operation, [&] {
      out = object;
      return object || mayBeNull ? S_OK : E_POINTER;
    });
  }
  // Notes "event <kind>.<event>" in the trace, then fires.
  template <class Sink, class Handler>
  std::vector<HRESULT> Fire(SinkList<Sink>& sinks, const char* event, Handler handler) {
    if (trace) trace->Add(std::string("event ") + kind_ + "." + event);
    return sinks.Fire(handler);
  }

 private:
  struct Failure {
    HRESULT hr;
    int fromCall;
  };
  // Records the call; the failure set for it, otherwise S_OK.
  HRESULT Enter(const char* operation);
  void Traced(const char* operation, const std::string& detail, HRESULT hr) const;

  const char* kind_;
  std::set<std::string> operations_;
  std::map<std::string, Failure> failing_;
  std::vector<std::string> calls_;
};

// An object of `Interface` that records its calls.
template <class Interface>
class Recorded : public Interface, public CallRecorder {
 protected:
  using CallRecorder::CallRecorder;
};

// `Base` as an event source of `Sink`.
template <class Base, class Sink>
class Advisable : public Base {
 public:
  HRESULT Advise(Sink& sink) override {
    return this->Call("Advise", [&] {
      sinks.Add(sink);
      return S_OK;
    });
  }
  HRESULT Unadvise(Sink& sink) override {
    return this->Call("Unadvise", [&] { return sinks.Remove(sink); });
  }

  SinkList<Sink> sinks;

 protected:
  // As the base is made: a kind, a type identity for an Object, operations.
  Advisable(const char* kind, std::initializer_list<const char*> operations)
      : Base(kind, operations) {
    this->AddOperations({"Advise", "Unadvise"});
  }
  Advisable(const char* kind, const char16_t* typeId, std::initializer_list<const char*> operations)
      : Base(kind, typeId, operations) {
    this->AddOperations({"Advise", "Unadvise"});
  }
};

}  // namespace veilmark::outlook
