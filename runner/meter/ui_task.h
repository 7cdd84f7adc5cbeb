#pragma once

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace meter_link {

// One unit of work for the UI thread: a callable without arguments that owns what it captured.
// Move-only, so captures such as unique owners fit and nothing is ever copied on the way.
class UiTask {
 public:
  UiTask() = default;

  template <typename Body, typename = std::enable_if_t<!std::is_same_v<std::decay_t<Body>, UiTask>>>
  UiTask(Body&& body) {  // NOLINT(google-explicit-constructor): lambdas convert implicitly
    using Stored = std::decay_t<Body>;
    // A null function pointer or an empty std::function makes an empty task.
    if constexpr (std::is_constructible_v<bool, const Stored&>) {
      if (!static_cast<bool>(body)) return;
    }
    callable = std::make_unique<Model<Stored>>(std::forward<Body>(body));
  }

  UiTask(UiTask&&) noexcept = default;
  UiTask& operator=(UiTask&&) noexcept = default;
  UiTask(const UiTask&) = delete;
  UiTask& operator=(const UiTask&) = delete;

  explicit operator bool() const { return callable != nullptr; }

  // Runs the body; an empty task throws std::bad_function_call, like an empty std::function.
  void operator()() {
    if (!callable) throw std::bad_function_call();
    callable->Run();
  }

 private:
  struct Concept {
    virtual ~Concept() = default;
    virtual void Run() = 0;
  };

  template <typename Body>
  struct Model final : Concept {
    template <typename Arg>
    explicit Model(Arg&& arg) : body(std::forward<Arg>(arg)) {}
    void Run() override { body(); }
    Body body;
  };

  std::unique_ptr<Concept> callable;
};

}  // namespace meter_link
