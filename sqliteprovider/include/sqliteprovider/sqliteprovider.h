#pragma once

// Every class of the sqliteprovider library.
#include "sqliteprovider/Command.h"
#include "sqliteprovider/Connection.h"
#include "sqliteprovider/DataReader.h"
#include "sqliteprovider/DataTable.h"
#include "sqliteprovider/DbType.h"
#include "sqliteprovider/Exception.h"
#include "sqliteprovider/Parameter.h"
#include "sqliteprovider/Transaction.h"
