// A modal dialog on a terminal. The controller sees the same site as on
// Windows; documents reach it only after the handler that navigated returns,
// as a browser's events would.
#include "ui/dialog_terminal.h"

#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/local_files.h"
#include "base/protocol_exception.h"
#include "base/text.h"

namespace veilmark {
namespace {

bool IsButton(ControlKind kind) {
  return kind == ControlKind::kButton || kind == ControlKind::kDefaultButton ||
         kind == ControlKind::kImageButton;
}

bool IsEdit(ControlKind kind) {
  return kind == ControlKind::kEdit || kind == ControlKind::kPasswordEdit;
}

bool IsText(ControlKind kind) {
  return kind == ControlKind::kStaticText || kind == ControlKind::kBoldStaticText;
}

std::string_view Trimmed(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

std::optional<int> ParseId(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// Splits "word rest of line" at the first space.
std::pair<std::string_view, std::string_view> SplitWord(std::string_view text) {
  const std::size_t space = text.find(' ');
  if (space == std::string_view::npos) return {text, {}};
  return {text.substr(0, space), text.substr(space + 1)};
}

// Keeps a typed password off the screen; the terminal is restored however
// the prompt ends.
class EchoOff {
 public:
  explicit EchoOff(bool active) {
    if (!active || tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    restore_ = tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
  }
  ~EchoOff() {
    if (restore_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;
  bool active() const { return restore_; }

 private:
  termios saved_{};
  bool restore_ = false;
};

std::string ImageExtension(std::string_view contentType) {
  std::string subtype(Trimmed(contentType.substr(0, contentType.find(';'))));
  LowerAscii(subtype);
  if (subtype == "image/png") return ".png";
  if (subtype == "image/jpeg" || subtype == "image/jpg") return ".jpg";
  if (subtype == "image/gif") return ".gif";
  if (subtype == "image/bmp") return ".bmp";
  if (subtype == "image/webp") return ".webp";
  if (subtype == "image/svg+xml") return ".svg";
  return ".img";
}

// Images shown by browser controls, as private files in the data folder for a
// person to open; they go when the dialog closes.
class SavedImages {
 public:
  SavedImages() = default;
  SavedImages(const SavedImages&) = delete;
  SavedImages& operator=(const SavedImages&) = delete;
  ~SavedImages() {
    for (const std::u16string& path : paths_) DeleteLocalFile(path);
  }

  std::optional<std::u16string> Save(std::string_view bytes, std::string_view contentType) {
    const std::string extension = ImageExtension(contentType);
    std::string pattern;
    try {
      pattern = WideToUtf8(GetAppDataPath(u"/image_XXXXXX")) + extension;
    } catch (const ProtocolException&) {
      return std::nullopt;
    }
    const int fd = mkstemps(pattern.data(), static_cast<int>(extension.size()));  // 0600
    if (fd < 0) return std::nullopt;
    close(fd);
    std::u16string path = Utf8ToWide(pattern);
    paths_.push_back(path);
    if (!SaveFile(path, bytes)) return std::nullopt;
    return path;
  }

 private:
  std::vector<std::u16string> paths_;
};

class TerminalSite final : public DialogSite {
 public:
  std::u16string ItemText(int id) override {
    const auto found = texts_.find(id);
    return found == texts_.end() ? std::u16string() : found->second;
  }
  void SetItemText(int id, const std::u16string& text) override { texts_[id] = text; }
  void Navigate(int id, const std::u16string& url) override { navigations_.emplace_back(id, url); }
  void End(int result) override {
    ended_ = true;
    result_ = result;
  }

  bool ended() const { return ended_; }
  int result() const { return result_; }
  std::optional<std::pair<int, std::u16string>> TakeNavigation() {
    if (navigations_.empty()) return std::nullopt;
    auto next = std::move(navigations_.front());
    navigations_.pop_front();
    return next;
  }
  void DropNavigations() { navigations_.clear(); }

 private:
  std::map<int, std::u16string> texts_;
  std::deque<std::pair<int, std::u16string>> navigations_;
  bool ended_ = false;
  int result_ = kIdCancel;
};

class DialogRun {
 public:
  DialogRun(DialogController& dialog, TerminalDialogIo& io)
      : dialog_(dialog), layout_(dialog.Template()), io_(io), out_(io.output) {}

  int Run() {
    std::string problem;
    const bool answered =
        !io_.script || io_.script->Enter(layout_.resourceId, WideToUtf8(layout_.caption), problem);
    dialog_.OnInitDialog(site_);
    Print();
    if (!answered) {
      out_ << "(" << problem << ": the dialog is closed)\n";
      Close();
    } else {
      LoadPages();
      if (io_.script) {
        AnswerFromScript();
        io_.script->Leave();
      } else {
        while (!site_.ended()) AskPerson();
      }
    }
    out_ << "=== " << WideToUtf8(layout_.caption) << " closed (" << site_.result() << ") ===\n"
         << std::flush;
    return site_.result();
  }

 private:
  const DialogControl* Find(int id) const {
    if (id == kNoControlId) return nullptr;
    for (const DialogControl& control : layout_.controls) {
      if (control.id == id) return &control;
    }
    return nullptr;
  }

  // The static text left of an edit on the same line, as a person sees it.
  const DialogControl* LabelOf(const DialogControl& edit) const {
    const DialogControl* best = nullptr;
    for (const DialogControl& control : layout_.controls) {
      if (!IsText(control.kind)) continue;
      const bool sameLine = control.y < edit.y + edit.height && edit.y < control.y + control.height;
      const bool leftOf = control.x + control.width <= edit.x + 2;
      if (sameLine && leftOf && (!best || control.x > best->x)) best = &control;
    }
    return best;
  }

  std::string FieldName(const DialogControl& edit) const {
    const DialogControl* label = LabelOf(edit);
    if (!label) return "Field " + std::to_string(edit.id);
    std::string name = WideToUtf8(label->text);
    if (!name.empty() && name.back() == ':') name.pop_back();
    return name;
  }

  std::string Shown(const DialogControl& edit) {
    const std::u16string text = site_.ItemText(edit.id);
    if (edit.kind == ControlKind::kPasswordEdit && !text.empty()) return "********";
    return WideToUtf8(text);
  }

  std::string ButtonList() const {
    std::string list;
    for (const DialogControl& control : layout_.controls) {
      if (!IsButton(control.kind)) continue;
      if (!list.empty()) list += "  ";
      list += "[" + std::to_string(control.id) + "] " + WideToUtf8(control.text);
    }
    return list;
  }

  bool HasBrowser() const {
    for (const DialogControl& control : layout_.controls) {
      if (control.kind == ControlKind::kBrowser) return true;
    }
    return false;
  }

  void Print() {
    std::vector<const DialogControl*> labels;
    for (const DialogControl& control : layout_.controls) {
      if (IsEdit(control.kind)) labels.push_back(LabelOf(control));
    }
    out_ << "\n=== " << WideToUtf8(layout_.caption) << " (dialog " << layout_.resourceId
         << ") ===\n";
    for (const DialogControl& control : layout_.controls) {
      if (IsText(control.kind) || control.kind == ControlKind::kGroupBox) {
        if (std::find(labels.begin(), labels.end(), &control) == labels.end()) {
          out_ << "  " << WideToUtf8(control.text) << "\n";
        }
      } else if (IsEdit(control.kind)) {
        out_ << "    " << FieldName(control) << " [" << control.id << "]: " << Shown(control)
             << "\n";
      } else if (control.kind == ControlKind::kBrowser) {
        out_ << "  [browser " << control.id << "]\n";
      }
    }
    const std::string buttons = ButtonList();
    if (!buttons.empty()) out_ << "  Buttons: " << buttons << "\n";
  }

  // Each navigation the controller asked for, one document at a time.
  void LoadPages() {
    while (!site_.ended()) {
      std::optional<std::pair<int, std::u16string>> next = site_.TakeNavigation();
      if (!next) return;
      const int id = next->first;
      const std::string url = WideToUtf8(next->second);
      if (!browser_) browser_ = io_.makeBrowser();
      BrowserResult loaded =
          browser_ ? browser_->Open(url) : BrowserResult{false, {}, "no browser"};
      out_ << "[browser " << id << "] ";
      if (!loaded.ok) {
        // The browser area just stays as it was.
        out_ << "cannot open " << url << ": " << loaded.error << "\n";
        continue;
      }
      const BrowserDocument& document = loaded.document;
      out_ << document.url << ": " << document.status << " "
           << (document.contentType.empty() ? "(no type)" : document.contentType) << ", "
           << document.source.size() << " bytes\n";
      if (IsImageContentType(document.contentType)) {
        if (std::optional<std::u16string> path =
                images_.Save(document.source, document.contentType)) {
          out_ << "[browser " << id << "] the image is in " << WideToUtf8(*path)
               << " (open it to see it)\n";
        } else {
          out_ << "[browser " << id << "] the image could not be saved\n";
        }
      }
      out_ << std::flush;
      dialog_.OnDocumentComplete(site_, id, document.source);
    }
  }

  void Click(int id) {
    dialog_.OnCommand(site_, id);
    LoadPages();
  }

  // The window closed: no page loads any more, and the controller hears kIdCancel.
  void Close() {
    site_.DropNavigations();
    dialog_.OnCommand(site_, kIdCancel);
    site_.DropNavigations();
    if (!site_.ended()) site_.End(kIdCancel);
  }

  std::optional<int> ButtonFor(std::string_view choice) const {
    choice = Trimmed(choice);
    if (std::optional<int> id = ParseId(choice)) {
      const DialogControl* control = Find(*id);
      if (control && IsButton(control->kind)) return id;
      return std::nullopt;
    }
    std::string wanted(choice);
    LowerAscii(wanted);
    for (const DialogControl& control : layout_.controls) {
      if (!IsButton(control.kind)) continue;
      std::string text = WideToUtf8(control.text);
      LowerAscii(text);
      if (text == wanted) return control.id;
    }
    return std::nullopt;
  }

  void AnswerFromScript() {
    while (!site_.ended()) {
      std::optional<std::string> line = io_.script->NextAnswer();
      if (!line) {
        out_ << "(no answers left: the dialog is closed)\n";
        Close();
        return;
      }
      Answer(*line);
    }
  }

  void Answer(std::string_view line) {
    const auto [word, rest] = SplitWord(line);
    if (word == "field") {
      const auto [idText, text] = SplitWord(rest);
      const std::optional<int> id = ParseId(idText);
      const DialogControl* control = id ? Find(*id) : nullptr;
      if (!control || !IsEdit(control->kind)) {
        out_ << "(no such field: " << line << ")\n";
        return;
      }
      site_.SetItemText(*id, Utf8ToWide(text));
      out_ << "> field " << *id << " " << Shown(*control) << "\n";
    } else if (word == "click") {
      const std::optional<int> id = ButtonFor(rest);
      if (!id) {
        out_ << "(no such button: " << line << ")\n";
        return;
      }
      out_ << "> click " << *id << " (" << WideToUtf8(Find(*id)->text) << ")\n";
      Click(*id);
    } else if (word == "close" && Trimmed(rest).empty()) {
      out_ << "> close\n";
      Close();
    } else if (word == "open") {
      const auto [idText, url] = SplitWord(rest);
      const std::optional<int> id = ParseId(idText);
      const DialogControl* control = id ? Find(*id) : nullptr;
      if (!control || control->kind != ControlKind::kBrowser || Trimmed(url).empty()) {
        out_ << "(no such browser or no address: " << line << ")\n";
        return;
      }
      out_ << "> open " << *id << " " << Trimmed(url) << "\n";
      site_.Navigate(*id, Utf8ToWide(Trimmed(url)));
      LoadPages();
    } else {
      out_ << "(unknown script line: " << line << ")\n";
    }
  }

  // A line from the person; none when the input has ended.
  std::optional<std::string> ReadLine(bool hidden) {
    EchoOff echo(hidden && &io_.input == &std::cin && isatty(STDIN_FILENO) == 1);
    std::string line;
    const bool got = static_cast<bool>(std::getline(io_.input, line));
    if (echo.active()) out_ << "\n";
    if (!got) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }

  // One round: every field (Enter keeps its text), then one choice.
  void AskPerson() {
    for (const DialogControl& control : layout_.controls) {
      if (!IsEdit(control.kind)) continue;
      const bool hidden = control.kind == ControlKind::kPasswordEdit;
      out_ << FieldName(control);
      const std::string current = Shown(control);
      if (!current.empty()) out_ << " [" << current << "]";
      out_ << ": " << std::flush;
      const std::optional<std::string> line = ReadLine(hidden);
      if (!line) return Close();
      if (!line->empty()) site_.SetItemText(control.id, Utf8ToWide(*line));
    }
    const bool browser = HasBrowser();
    for (;;) {
      const std::string buttons = ButtonList();
      out_ << "Choose " << (buttons.empty() ? "" : buttons + ", ")
           << (browser ? "\"open <address>\", " : "") << "or \"close\": " << std::flush;
      const std::optional<std::string> line = ReadLine(false);
      if (!line) return Close();
      const std::string_view choice = Trimmed(*line);
      if (choice == "close") return Close();
      if (browser && SplitWord(choice).first == "open") {
        for (const DialogControl& control : layout_.controls) {
          if (control.kind != ControlKind::kBrowser) continue;
          site_.Navigate(control.id, Utf8ToWide(Trimmed(SplitWord(choice).second)));
          break;
        }
        return LoadPages();
      }
      if (const std::optional<int> id = ButtonFor(choice)) return Click(*id);
      out_ << "(no such button)\n";
    }
  }

  DialogController& dialog_;
  const DialogTemplate& layout_;
  TerminalDialogIo& io_;
  std::ostream& out_;
  TerminalSite site_;
  std::unique_ptr<Browser> browser_;
  SavedImages images_;
};

}  // namespace

int RunTerminalDialog(DialogController& dialog, TerminalDialogIo& io) {
  return DialogRun(dialog, io).Run();
}

}  // namespace veilmark
