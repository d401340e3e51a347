#pragma once

#include <vector>

// The host's script start-up: functions registered here run at each start-up level of the interpreter.
class oxPythonRegisterFactory
{
public:
    enum Level : int
    {
        BeforeInitialize = 0, // before Py_Initialize: append built-in modules
        AfterInitialize = 1   // the interpreter runs: import into the script namespace
    };
    typedef void (*Function)(Level);

    // Calls every registered function with the level, in registration order.
    static void run(Level level);

    // One entry per registration; remove drops one entry of that function.
    static void add(Function function);
    static bool remove(Function function);
    static std::vector<Function> functions();
};
