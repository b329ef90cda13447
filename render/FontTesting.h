// Test-only control of the renderer's Wine decision, so tests under Wine can
// reach the GDI path. Nothing outside tests includes this.
#pragma once

namespace lice_testing {

enum class WineAnswer { Detect, Windows, Wine };

// Detect (the default) uses the registry test; the others override it.
void SetWineAnswer(WineAnswer answer);

// The answer the renderer currently acts on.
bool RunningUnderWine();

}  // namespace lice_testing
