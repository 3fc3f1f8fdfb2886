#include "lumarin/receipt.hpp"
