// How a pass ended.
#pragma once

enum class PassOutcome {
  Done,       // finished; its results and files stand
  Cancelled,  // stopped at a cancel request (an error text set before it stays)
  Failed,     // the error says why
};
