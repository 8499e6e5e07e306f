// The per-image shrink step (being built).
#pragma once
