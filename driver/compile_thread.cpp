#include "driver/compile_thread.h"

#include <pthread.h>

#include <system_error>
#include <utility>

namespace marlo::core {

struct CompileThread::State {
  std::function<void()> body;
  std::exception_ptr failure;
  pthread_t thread{};
  bool joined = false;
};

namespace {

void* RunBody(void* raw) {
  auto* state = static_cast<CompileThread::State*>(raw);
  try {
    state->body();
  } catch (...) {
    state->failure = std::current_exception();
  }
  return nullptr;
}

}  // namespace

CompileThread::CompileThread(std::function<void()> body, std::size_t stackSize) : state_(std::make_unique<State>()) {
  state_->body = std::move(body);
  pthread_attr_t attributes;
  int error = pthread_attr_init(&attributes);
  if (error == 0) {
    error = pthread_attr_setstacksize(&attributes, stackSize);
    if (error == 0) error = pthread_create(&state_->thread, &attributes, &RunBody, state_.get());
    pthread_attr_destroy(&attributes);
  }
  if (error != 0) {
    state_.reset();
    throw std::system_error(error, std::generic_category(), "cannot start a compile thread");
  }
}

CompileThread::~CompileThread() {
  if (state_ && !state_->joined) pthread_join(state_->thread, nullptr);
}

void CompileThread::Join() {
  if (!state_->joined) {
    pthread_join(state_->thread, nullptr);
    state_->joined = true;
  }
  if (state_->failure) std::rethrow_exception(std::exchange(state_->failure, nullptr));
}

}  // namespace marlo::core
