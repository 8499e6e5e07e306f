// The About box (being built).
#pragma once
