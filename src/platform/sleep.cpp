#include "platform/sleep.h"

#include <chrono>
#include <thread>

void sleep_ms(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
