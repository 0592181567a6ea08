#include "platform/message.h"

#include <cstdio>
#include <memory>
#include <mutex>

namespace rd420 {

namespace {

void WriteToStandardError(const void*, const Message& message) {
  std::fprintf(stderr, "%s: %s\n", message.caption.c_str(), message.text.c_str());
}

std::mutex g_sinkMutex;
MessageSink& CurrentSink() {
  static MessageSink sink = WriteToStandardError;
  return sink;
}

}  // namespace

void ShowMessage(const void* owner, std::string_view text, std::string_view caption,
                 MessageIcon icon) {
  MessageSink sink;
  {
    std::lock_guard lock(g_sinkMutex);
    sink = CurrentSink();
  }
  // Called outside the lock: a modal box may block for as long as the user
  // takes, and another thread may want to show its own meanwhile.
  sink(owner, Message{std::string(caption), std::string(text), icon});
}

MessageSink SetMessageSink(MessageSink sink) {
  std::lock_guard lock(g_sinkMutex);
  MessageSink previous = std::move(CurrentSink());
  CurrentSink() = sink ? std::move(sink) : MessageSink(WriteToStandardError);
  return previous;
}

struct MessageRecorder::State {
  mutable std::mutex mutex;
  std::vector<Message> messages;
};

MessageRecorder::MessageRecorder() : state_(std::make_shared<State>()) {
  previous_ = SetMessageSink([state = state_](const void*, const Message& message) {
    std::lock_guard lock(state->mutex);
    state->messages.push_back(message);
  });
}

MessageRecorder::~MessageRecorder() {
  SetMessageSink(std::move(previous_));
}

std::vector<Message> MessageRecorder::Messages() const {
  std::lock_guard lock(state_->mutex);
  return state_->messages;
}

void MessageRecorder::Clear() {
  std::lock_guard lock(state_->mutex);
  state_->messages.clear();
}

std::vector<std::string> MessageRecorder::Captions() const {
  std::vector<std::string> captions;
  for (const Message& message : Messages()) {
    captions.push_back(message.caption);
  }
  return captions;
}

}  // namespace rd420
