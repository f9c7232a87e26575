// What the player is doing: the engine's state, as the windows and the
// desktop's media controls see it too. The values are those the player has
// always reported (0, 1, 2); tools print them as numbers.
#pragma once

namespace tarn {

enum class PlayState : int { Stopped = 0, Paused = 1, Playing = 2 };

} // namespace tarn
