// Deterministic test clips: placeholder until the generator lands.
#pragma once
