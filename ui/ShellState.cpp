#include "ui/ShellState.h"

ShellState& shell() {
    static ShellState state;
    return state;
}
