#pragma once

// The converter's input range. The data file does not record it.
enum class Range { Unipolar, Bipolar };
