// Which font engine the library talks to: the platform's own, or a double a test installed.
#include <atomic>

#include "platform/platform.h"

namespace tavrfndl::platform {
namespace {

std::atomic<FontEngine*> g_engineForTesting{nullptr};

}  // namespace

FontEngine& CurrentFontEngine() {
  FontEngine* engine = g_engineForTesting.load(std::memory_order_acquire);
  return engine != nullptr ? *engine : PlatformFontEngine();
}

void SetFontEngineForTesting(FontEngine* engine) {
  g_engineForTesting.store(engine, std::memory_order_release);
}

}  // namespace tavrfndl::platform
