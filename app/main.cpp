#include "form1.h"
#include "start.h"

int main(int argc, char **argv) {
    return varnel::start(argc, argv, [] { return std::make_unique<varnel::Form1>(); });
}
