// A short pause of the calling thread.
#pragma once

void sleep_ms(int milliseconds);
