#include "calculator_window/form1.h"
#include "window_runtime/start.h"

int main(int argc, char **argv) {
    return varnel::start(argc, argv, [] { return std::make_unique<varnel::Form1>(); });
}
