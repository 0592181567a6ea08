#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rd420 {

enum class MessageIcon { kWarning, kError, kInformation };

// One message box as the user would see it.
struct Message {
  std::string caption;
  std::string text;
  MessageIcon icon;
};

// Where message boxes go. The programs install a sink that shows a modal
// box on the GUI thread; tests install a recorder. `owner` is the owning
// window or null; the sink knows what it points at.
using MessageSink = std::function<void(const void* owner, const Message& message)>;

// Shows one message box and returns when the user has dismissed it. Safe
// from any thread; the sink decides how to reach the GUI thread.
void ShowMessage(const void* owner, std::string_view text, std::string_view caption,
                 MessageIcon icon);

// Replaces the sink and returns the previous one. The default sink writes
// "caption: text" to standard error.
MessageSink SetMessageSink(MessageSink sink);

// Captures every message while it lives and restores the previous sink
// afterwards. For tests.
class MessageRecorder {
 public:
  MessageRecorder();
  ~MessageRecorder();
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  std::vector<Message> Messages() const;
  std::vector<std::string> Captions() const;
  void Clear();

 private:
  struct State;
  std::shared_ptr<State> state_;
  MessageSink previous_;
};

}  // namespace rd420
