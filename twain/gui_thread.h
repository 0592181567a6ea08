#pragma once

#include <functional>
#include <thread>

class QObject;

namespace rd420::twain {

// Where the view window's widgets live: the host's own Qt application when
// it has one (its GUI thread), else a QApplication of the source's own on
// a thread of its own, for a host with no GUI toolkit. Used from the
// application's thread.
class GuiThread {
 public:
  GuiThread() = default;
  ~GuiThread() { Stop(); }
  GuiThread(const GuiThread&) = delete;
  GuiThread& operator=(const GuiThread&) = delete;

  // Makes sure a GUI thread exists: the host's, or ours started now. False
  // when there is none to be had (a host with only a QCoreApplication, or
  // no thread to spare).
  bool Ensure();
  // Runs `work` on the GUI thread and returns once it has run.
  void Run(const std::function<void()>& work);
  // Ends our own application and joins its thread; nothing for the host's.
  void Stop();
  // Whether Run can run anything: false once the host's application is gone
  // (a host that ends without closing the source).
  bool Available() const;

 private:
  std::thread thread_;
  std::thread::id threadId_;
  QObject* receiver_ = nullptr;  // lives on our thread while it runs
};

}  // namespace rd420::twain
