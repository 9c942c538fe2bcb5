#include "setcover/glpk_trap.hpp"

#include "setcover/budget.hpp"

#include <glpk.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace nimbrel_tavik_util::setcover_detail {

namespace {

int keepErrorText(void* info, const char* text) {
  auto* trap = static_cast<GlpkTrap*>(info);
  if (glp_at_error() != 0) {
    const std::size_t room = sizeof trap->message - 1 - trap->messageLength;
    const std::size_t length = std::min(std::strlen(text), room);
    std::memcpy(trap->message + trap->messageLength, text, length);
    trap->messageLength += length;
  } else if (trap->watch != nullptr && trap->watch->limitReached()) {
    // Left as after a fatal error: GLPK's state is then given up with its environment.
    trap->interrupted = true;
    std::longjmp(trap->jump, 1);
  }
  return 1;
}

// GLPK would abort after the hook returns, so it does not return.
void leaveGlpk(void* info) { std::longjmp(static_cast<GlpkTrap*>(info)->jump, 1); }

}  // namespace

void GlpkTrap::install() {
  glp_term_hook(keepErrorText, this);
  glp_error_hook(leaveGlpk, this);
}

void GlpkTrap::remove() {
  glp_error_hook(nullptr, nullptr);
  glp_term_hook(nullptr, nullptr);
}

std::string GlpkTrap::firstLine() const {
  const std::string text(message, messageLength);
  return text.substr(0, text.find('\n'));
}

bool GlpkTrap::outOfMemory() const {
  const std::string text = firstLine();
  for (const char* sign : {"no memory available", "memory allocation limit exceeded",
                           "block too large", "too many memory blocks"}) {
    if (text.find(sign) != std::string::npos) return true;
  }
  return false;
}

int startGlpk(const char* who) {
  const int state = glp_init_env();
  if (state == 2) throw std::bad_alloc();
  if (state != 0 && state != 1) {
    throw std::runtime_error(std::string(who) + ": GLPK cannot start (glp_init_env returned " +
                             std::to_string(state) + ")");
  }
  return state;
}

void failGlpk(const GlpkTrap& trap, const char* who) {
  glp_free_env();
  if (trap.outOfMemory()) throw std::bad_alloc();
  throw GlpkFailure(std::string(who) + ": GLPK failed: " + trap.firstLine());
}

}  // namespace nimbrel_tavik_util::setcover_detail
