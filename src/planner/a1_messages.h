// A1's trace messages. In the event message "Coбытие" begins with the Latin
// letters C and o; the state line begins with a Cyrillic А, the closing line
// with a Latin A.
#pragma once

#include <array>

#include "platform/cp866.h"

namespace planner::a1 {

inline constexpr Cp866 kE1{"e1: Coбытие e1 произошло\n"};
inline constexpr Cp866 kX1{"x1 : у активной вершины есть потомки\n"};
inline constexpr Cp866 kNotX1{"!x1: у активной вершины нет потомков\n"};
inline constexpr Cp866 kX2{"x2 : у активной вершины есть необработанные потомки\n"};
inline constexpr Cp866 kNotX2{"!x2: у активной вершины нет необработанных потомков\n"};
inline constexpr Cp866 kX3{"x3 : вершины стеков совпадают\n"};
inline constexpr Cp866 kNotX3{"!x3: вершины стеков не совпадают\n"};
inline constexpr Cp866 kX4{"x4 : вершина стека 2 является помеченной\n"};
inline constexpr Cp866 kNotX4{"!x4: вершина стека 2 не является помеченной\n"};
inline constexpr Cp866 kX5{
    "x5 : время модификации вершины стека 1 больше времени модификации вершины стека 2\n"};
inline constexpr Cp866 kNotX5{
    "!x5: время модификации вершины стека 1 меньше или равно времени модификации вершины "
    "стека 2\n"};
inline constexpr Cp866 kX6{"x6 : стек 1 и стек 2 пусты\n"};
// "пусть" is the message as users' scripts know it.
inline constexpr Cp866 kNotX6{"!x6: стек 1 не пусть или стек 2 не пуст\n"};
inline constexpr Cp866 kX7{"x7 : файл, соответствующий вершине стека 2 не существует\n"};
inline constexpr Cp866 kNotX7{"!x7: файл, соответствующий вершине стека 2 существует\n"};

inline constexpr Cp866 kStateStart{"Автомат A1 перешел в состояние START\n"};
inline constexpr Cp866 kStateMain{"Автомат A1 перешел в состояние MAIN\n"};
inline constexpr Cp866 kStateLeaf{"Автомат A1 перешел в состояние LEAF\n"};
inline constexpr Cp866 kStateNotLeaf{"Автомат A1 перешел в состояние NOT_LEAF\n"};
inline constexpr Cp866 kStateTops{"Автомат A1 перешел в состояние TOPS\n"};
inline constexpr Cp866 kStateStop{"Автомат A1 перешел в состояние STOP\n"};
inline constexpr Cp866 kClosing{"Aвтомат A1 закончил работу\n"};

// The state lines by state number, each naming its state last.
inline constexpr auto kStateLines = std::to_array(
    {kStateStart.view(), kStateMain.view(), kStateLeaf.view(), kStateNotLeaf.view(),
     kStateTops.view(), kStateStop.view()});

}  // namespace planner::a1
