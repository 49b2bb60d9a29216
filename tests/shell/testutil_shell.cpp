// The shell tests share the window tests' helpers.
#include "../framework/testutil_framework.cpp"
