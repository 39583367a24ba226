#include "platform/headless/headless_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform_headless/line_streams.h"

namespace lumireel::platform::headless {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;
using testing::CapturedOutput;
using testing::FedInput;

// A host on in-memory streams; its main loop runs on a thread of its own.
class HostHarness {
 public:
  explicit HostHarness(Size screen = {1280, 1024})
      : host_(input_.stream(), output_.stream(), screen) {}
  ~HostHarness() {
    input_.Close();
    host_.PostQuit(0);
    if (loop_.joinable()) loop_.join();
  }

  HeadlessHost& host() { return host_; }
  void StartReader() { host_.Start(); }
  void StartLoop() {
    host_.Start();
    loop_ = std::thread([this] { exit_code_ = host_.RunModal(); });
  }
  int JoinLoop() {
    loop_.join();
    return exit_code_;
  }
  std::thread::id loop_id() const { return loop_.get_id(); }

  void Send(const json& line) { input_.FeedLine(line.dump()); }
  void SendRaw(const std::string& line) { input_.FeedLine(line); }
  void CloseInput() { input_.Close(); }
  FedInput& input() { return input_; }

  std::optional<std::string> NextRaw(std::chrono::milliseconds timeout = 20s) {
    return output_.NextLine(timeout);
  }
  json Next(std::chrono::milliseconds timeout = 20s) {
    std::optional<std::string> line = output_.NextLine(timeout);
    if (!line) {
      ADD_FAILURE() << "no output line came";
      return nullptr;
    }
    return json::parse(*line);
  }
  // The lines written before the answer to a new sync line.
  std::vector<json> Sync() {
    const json synced = {{"synced", "token-" + std::to_string(++tokens_)}};
    Send({{"sync", synced["synced"]}});
    std::vector<json> lines;
    for (json line = Next(); line != synced && !line.is_null(); line = Next()) {
      lines.push_back(line);
    }
    return lines;
  }

 private:
  FedInput input_;
  CapturedOutput output_;
  HeadlessHost host_;
  std::thread loop_;
  int exit_code_ = -1;
  int tokens_ = 0;
};

// Ends the input when a test leaves, before the futures declared ahead of it
// are waited for: a failing test then cancels its dialogs instead of hanging.
struct InputCloser {
  FedInput& input;
  ~InputCloser() { input.Close(); }
};

OpenFileRequest FileDialog(bool multiple, std::string title = "") {
  OpenFileRequest request;
  request.title = std::move(title);
  request.multiple = multiple;
  return request;
}

MessageBoxRequest Box(MessageButtons buttons, MessageIcon icon = MessageIcon::kQuestion) {
  MessageBoxRequest request;
  request.caption = "Oops";
  request.text = "Failed";
  request.icon = icon;
  request.buttons = buttons;
  return request;
}

template <typename T>
bool Ready(std::future<T>& future, std::chrono::milliseconds within = 10s) {
  return future.wait_for(within) == std::future_status::ready;
}

TEST(HeadlessHostTest, BadLinesAreReportedAndOtherwiseIgnored) {
  HostHarness h;
  h.host().SetFlashCallHandler([&](const std::string& r) { h.host().SetReturnValue(r); });
  h.StartLoop();
  h.SendRaw("nope");
  h.SendRaw("");
  h.SendRaw(R"({"unknown": 1})");
  h.SendRaw(R"({"key": "Tab"})");
  h.Send({{"invoke", "fine"}});
  std::vector<json> lines = h.Sync();
  ASSERT_EQ(lines.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(lines[i].contains("error")) << lines[i];
    EXPECT_FALSE(lines[i]["error"].get<std::string>().empty());
  }
  EXPECT_EQ(lines[3], json({{"reply", "fine"}}));
}

TEST(HeadlessHostTest, InputRunsOnTheMainThreadInArrivalOrder) {
  // Declared before the host, whose handlers use them until it goes (the end
  // of its input fires the close handler once more).
  std::vector<std::string> events;
  std::vector<std::thread::id> threads;
  auto record = [&](std::string event) {
    events.push_back(std::move(event));
    threads.push_back(std::this_thread::get_id());
  };
  HostHarness h;
  h.host().SetFlashCallHandler([&](const std::string& r) { record("invoke " + r); });
  h.host().SetFSCommandHandler(
      [&](const std::string& c, const std::string& a) { record("fs " + c + " " + a); });
  h.host().SetKeyHandler(
      [&](WindowKey k) { record(k == WindowKey::kReturn ? "Return" : "Escape"); });
  h.host().SetCloseHandler([&] { record("close"); });
  h.StartLoop();
  h.Send({{"invoke", "a"}});
  h.SendRaw("{\"fscommand\": [\"c\", \"d\"]}\r");
  h.Send({{"key", "Return"}});
  h.Send({{"key", "Escape"}});
  h.Send({{"close", true}});
  h.Send({{"invoke", "b"}});
  EXPECT_TRUE(h.Sync().empty());
  EXPECT_EQ(events, (std::vector<std::string>{"invoke a", "fs c d", "Return", "Escape", "close",
                                              "invoke b"}));
  for (std::thread::id id : threads) EXPECT_EQ(id, h.loop_id());
}

TEST(HeadlessHostTest, LongLinesAndBadTextPassWhole) {
  HostHarness h;
  h.host().SetFlashCallHandler([&](const std::string& r) { h.host().SetReturnValue(r); });
  h.StartLoop();
  std::string big;
  while (big.size() < 10'500'000) big += "<invoke \"é\" & 'x'>\n";
  h.Send({{"invoke", big}});
  json reply = h.Next(120s);  // generous: a sanitizer makes this slow
  EXPECT_TRUE(reply["reply"] == big) << "the 10 MB request did not come back whole";

  std::string returned = "unset";
  EXPECT_NO_THROW(returned = h.host().CallFunction("bad \xff\xfe text"));
  EXPECT_EQ(returned, "");
  EXPECT_EQ(h.Next(), json({{"call", "bad \xef\xbf\xbd\xef\xbf\xbd text"}}));
}

TEST(HeadlessHostTest, SyncWaitsForIdlenessWhilePostedTasksStillRun) {
  std::atomic<bool> busy{true};
  HostHarness h;
  h.host().SetIdleCheck([&] { return !busy.load(); });
  h.host().SetFlashCallHandler([&](const std::string& r) { h.host().SetReturnValue(r); });
  h.StartLoop();
  h.Send({{"sync", "first"}});
  h.Send({{"invoke", "after first"}});

  // A worker's task for the main thread runs although the sync waits...
  std::promise<void> ran;
  h.host().Post([&] {
    h.host().CallFunction("posted");
    ran.set_value();
  });
  auto ran_future = ran.get_future();
  ASSERT_TRUE(Ready(ran_future));
  EXPECT_EQ(h.Next(), json({{"call", "posted"}}));
  // ...but the line after the sync waits for it.
  EXPECT_EQ(h.NextRaw(200ms), std::nullopt);

  // The job ends on the main thread: the sync is answered without any notice.
  h.host().Post([&] { busy = false; });
  EXPECT_EQ(h.Next(), json({{"synced", "first"}}));
  EXPECT_EQ(h.Next(), json({{"reply", "after first"}}));

  // A job ending on a worker notifies.
  busy = true;
  h.Send({{"sync", "second"}});
  EXPECT_EQ(h.NextRaw(100ms), std::nullopt);
  std::thread worker([&] {
    busy = false;
    h.host().NotifyJobsChanged();
  });
  worker.join();
  EXPECT_EQ(h.Next(), json({{"synced", "second"}}));
}

TEST(HeadlessHostTest, SyncTokensComeBackUnchanged) {
  HostHarness h;
  h.StartLoop();
  for (std::string token : {R"(42)", R"("x")", R"(null)", R"({"b":1,"a":[true,"é"]})"}) {
    h.SendRaw(R"({"sync": )" + token + "}");
    EXPECT_EQ(h.NextRaw(), R"({"synced":)" + token + "}");
  }
}

TEST(HeadlessHostTest, PostQuitEndsTheLoopWithItsCode) {
  HostHarness h;
  h.StartLoop();
  h.host().Post([&] { h.host().PostQuit(7); });
  EXPECT_EQ(h.JoinLoop(), 7);
}

TEST(HeadlessHostTest, WindowLinesOnlyWhenWhatTheyShowChanges) {
  HostHarness h({1280, 1024});
  HeadlessHost& w = h.host();
  w.MoveWindow({10, 20, 900, 700});
  EXPECT_EQ(h.NextRaw(), R"({"window":{"x":10,"y":20,"w":900,"h":700,"state":"normal","title":"",)"
                         R"("control":{"x":0,"y":0,"w":0,"h":0}}})");
  // None of these changes what a window line shows.
  w.MoveWindow({10, 20, 900, 700});
  w.SetTitle("");
  w.Show(ShowState::kNormal);
  w.SetIcon(130, true);
  w.SetIcon(137, false);
  w.SetTitle("Album");
  EXPECT_EQ(h.Next()["window"]["title"], "Album");
  w.MoveControl({0, 0, 900, 700});
  EXPECT_EQ(h.Next()["window"]["control"], json({{"x", 0}, {"y", 0}, {"w", 900}, {"h", 700}}));

  w.Show(ShowState::kMaximized);
  json max = h.Next()["window"];
  EXPECT_EQ(max["state"], "maximized");
  EXPECT_EQ(max["w"], 1280);
  EXPECT_EQ(max["h"], 1024);
  EXPECT_EQ(w.OuterRect(), (Rect{0, 0, 1280, 1024}));
  // Placing a maximised window changes only where it comes back to.
  w.MoveWindow({30, 40, 800, 670});
  EXPECT_EQ(w.OuterRect(), (Rect{0, 0, 1280, 1024}));
  w.Show(ShowState::kNormal);
  json normal = h.Next()["window"];
  EXPECT_EQ(normal["state"], "normal");
  EXPECT_EQ(normal["x"], 30);
  EXPECT_EQ(normal["h"], 670);

  w.Show(ShowState::kMinimized);
  json min = h.Next()["window"];
  EXPECT_EQ(min["state"], "minimized");
  EXPECT_EQ(min["w"], 800);
  EXPECT_EQ(w.OuterRect(), (Rect{30, 40, 800, 670}));
  EXPECT_EQ(w.State(), ShowState::kMinimized);

  w.SendKeyToControl(13);
  EXPECT_EQ(h.NextRaw(), R"({"control_key":13})");
  EXPECT_EQ(w.large_icon(), 130);
  EXPECT_EQ(w.small_icon(), 137);
  EXPECT_EQ(w.ScreenSize(), (Size{1280, 1024}));
}

TEST(HeadlessHostTest, CursorLinesWakeWhoeverWaitsForTheCursor) {
  HostHarness h;
  h.StartReader();
  EXPECT_EQ(h.host().CursorPosition(), (Point{0, 0}));
  auto moved = std::async(std::launch::async, [&] {
    return h.host().WaitForCursorChange({0, 0}, 10s);
  });
  h.Send({{"cursor", {5, 6}}});
  ASSERT_TRUE(Ready(moved));
  EXPECT_TRUE(moved.get());
  EXPECT_EQ(h.host().CursorPosition(), (Point{5, 6}));
  EXPECT_FALSE(h.host().WaitForCursorChange({5, 6}, 20ms));

  auto woken = std::async(std::launch::async, [&] {
    return h.host().WaitForCursorChange({5, 6}, 60s);
  });
  // Woken long before its timeout (the wake may come before the wait begins).
  while (!Ready(woken, 10ms)) h.host().WakeCursorWaiters();
  EXPECT_FALSE(woken.get());
}

TEST(HeadlessHostTest, AnswersGoToDialogsOldestFirst) {
  HostHarness h;
  h.StartReader();
  for (json answer :
       {json{{"folder", "/a"}}, json{{"files", {"x", "y"}}}, json{{"files", {"p", "q"}}},
        json{{"button", "cancel"}}, json{{"button", "ok"}}, json{{"cancel", true}}}) {
    h.Send({{"answer", answer}});
  }
  HeadlessHost& d = h.host();
  using Files = std::vector<std::string>;
  const MessageBoxRequest ask = Box(MessageButtons::kOkCancel);
  EXPECT_EQ(d.PickFolder({"Pick", ""}), "/a");
  EXPECT_EQ(d.OpenFiles(FileDialog(false, "One")), Files{"x"});
  EXPECT_EQ(d.OpenFiles(FileDialog(true, "Many")), (Files{"p", "q"}));
  EXPECT_EQ(d.ShowMessageBox(ask), MessageResult::kCancel);
  EXPECT_EQ(d.ShowMessageBox(ask), MessageResult::kOk);
  EXPECT_EQ(d.PickFolder({"Pick", ""}), std::nullopt);
  std::vector<std::string> kinds;
  for (int i = 0; i < 6; ++i) {
    json line = h.Next();
    kinds.push_back(line.contains("dialog") ? line["dialog"]["kind"] : "messagebox");
  }
  EXPECT_EQ(kinds, (std::vector<std::string>{"folder", "open-file", "open-files", "messagebox",
                                             "messagebox", "folder"}));

  // Answers of the wrong shape, or no files, cancel.
  for (json answer : {json{{"files", json::array()}}, json{{"folder", "/f"}},
                      json{{"files", {"z"}}}, json{{"files", {"z"}}}}) {
    h.Send({{"answer", answer}});
  }
  EXPECT_EQ(d.OpenFiles(FileDialog(true)), std::nullopt);
  EXPECT_EQ(d.OpenFiles(FileDialog(true)), std::nullopt);
  EXPECT_EQ(d.PickFolder({}), std::nullopt);
  EXPECT_EQ(d.ShowMessageBox(ask), MessageResult::kCancel);
}

TEST(HeadlessHostTest, OkOnlyBoxIsAnsweredAtOnceUnlessAnAnswerIsQueued) {
  HostHarness h;
  h.StartLoop();
  const MessageBoxRequest box = Box(MessageButtons::kOk, MessageIcon::kError);
  EXPECT_EQ(h.host().ShowMessageBox(box), MessageResult::kOk);
  EXPECT_EQ(h.Next(), json::parse(R"({"messagebox":{"caption":"Oops","text":"Failed",
                                       "icon":"error","buttons":"ok"}})"));
  h.Send({{"answer", {{"button", "cancel"}}}});
  h.Sync();  // the answer is queued now
  EXPECT_EQ(h.host().ShowMessageBox(box), MessageResult::kCancel);
}

TEST(HeadlessHostTest, DialogsOpenOneAtATimeAndWaitForLaterAnswers) {
  HostHarness h;
  h.StartReader();
  auto pick = [&](std::string title) {
    return std::async(std::launch::async, [&h, title] { return h.host().PickFolder({title, ""}); });
  };
  std::map<std::string, std::future<std::optional<std::string>>> picks;
  picks["one"] = pick("one");
  picks["two"] = pick("two");
  InputCloser closer{h.input()};
  std::string first = h.Next()["dialog"]["title"];
  EXPECT_EQ(h.NextRaw(200ms), std::nullopt) << "a second dialog opened while one was open";
  EXPECT_FALSE(Ready(picks[first], 0ms));
  h.Send({{"answer", {{"folder", "/first"}}}});
  std::string second = h.Next()["dialog"]["title"];
  h.Send({{"answer", {{"folder", "/second"}}}});
  EXPECT_NE(first, second);
  EXPECT_EQ(picks[first].get(), "/first");
  EXPECT_EQ(picks[second].get(), "/second");
}

TEST(HeadlessHostTest, EndOfInputCancelsDialogsAndClosesTheWindow) {
  std::promise<std::thread::id> closed;
  HostHarness h;
  h.host().SetCloseHandler([&] { closed.set_value(std::this_thread::get_id()); });
  h.StartLoop();
  auto waiting = std::async(std::launch::async, [&] { return h.host().OpenFiles({}); });
  InputCloser closer{h.input()};
  EXPECT_TRUE(h.Next().contains("dialog"));
  h.CloseInput();
  ASSERT_TRUE(Ready(waiting));
  EXPECT_EQ(waiting.get(), std::nullopt);
  auto closed_on = closed.get_future();
  ASSERT_TRUE(Ready(closed_on));
  EXPECT_EQ(closed_on.get(), h.loop_id());
  // Later dialogs do not wait.
  EXPECT_EQ(h.host().PickFolder({}), std::nullopt);
  EXPECT_EQ(h.host().ShowMessageBox(Box(MessageButtons::kOkCancel)), MessageResult::kCancel);
  EXPECT_EQ(h.host().ShowMessageBox(Box(MessageButtons::kOk)), MessageResult::kOk);
}

TEST(HeadlessHostTest, LinesFromManyThreadsStayWholeAndInOrder) {
  HostHarness h;
  constexpr int kThreads = 4;
  constexpr int kCalls = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&h, t] {
      for (int i = 0; i < kCalls; ++i) {
        h.host().CallFunction(std::to_string(t) + " " + std::to_string(i) + std::string(500, 'x'));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::vector<int> next(kThreads, 0);
  for (int n = 0; n < kThreads * kCalls; ++n) {
    std::istringstream call(h.Next()["call"].get<std::string>());
    int t = -1, i = -1;
    call >> t >> i;
    ASSERT_TRUE(t >= 0 && t < kThreads);
    EXPECT_EQ(i, next[t]++);
  }
}

}  // namespace
}  // namespace lumireel::platform::headless
