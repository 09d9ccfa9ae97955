#include "logging.h"

Q_LOGGING_CATEGORY(lcDecode, "vantor.decode", QtInfoMsg)
