// A0's trace messages. Condition lines end with the character read; the state
// line begins with a Cyrillic А, the closing line with a Latin A.
#pragma once

#include <array>

#include "platform/cp866.h"

namespace planner::a0 {

// Each is followed by the character, then a line end.
inline constexpr Cp866 kX1{"x1: текущий символ буква, цифра или точка: "};
inline constexpr Cp866 kX2{"x2: текущий символ двоеточие: "};
inline constexpr Cp866 kX3{"x3: текущий символ пробел: "};
inline constexpr Cp866 kX4{"x4: текущий символ - символ перевода строки: "};
inline constexpr Cp866 kX5{"x5: текущий символ - символ табуляции: "};

inline constexpr Cp866 kStateLine{"Автомат A0 перешел в состояние LINE\n"};
inline constexpr Cp866 kStateGoal{"Автомат A0 перешел в состояние GOAL\n"};
inline constexpr Cp866 kStateColon{"Автомат A0 перешел в состояние COLON\n"};
inline constexpr Cp866 kStateDependency{"Автомат A0 перешел в состояние DEPENDENCY\n"};
inline constexpr Cp866 kStateSpace{"Автомат A0 перешел в состояние SPACE\n"};
inline constexpr Cp866 kStateDetermine{"Автомат A0 перешел в состояние DETERMINE\n"};
inline constexpr Cp866 kStateCommand{"Автомат A0 перешел в состояние COMMAND\n"};
inline constexpr Cp866 kClosing{"Aвтомат A0 закончил работу\n"};

// The state lines by state number, each naming its state last.
inline constexpr auto kStateLines = std::to_array(
    {kStateLine.view(), kStateGoal.view(), kStateColon.view(), kStateDependency.view(),
     kStateSpace.view(), kStateDetermine.view(), kStateCommand.view()});

}  // namespace planner::a0
