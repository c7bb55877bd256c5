#include "sqliteprovider/Parameter.h"

#include <sqlite3.h>

#include "Engine.h"
#include "sqliteprovider/Command.h"
#include "sqliteprovider/Exception.h"

namespace sqliteprovider {

Parameter::Parameter(const Command& command) : command(command), valueAssigned(false) {}

Parameter::~Parameter() = default;

void Parameter::assigned() const {
  if (valueAssigned) {
    throw Exception(detail::kParameterAssigned);
  }
}

void Parameter::verify(int index, int result) {
  command.checkBound(index, result);
  valueAssigned = true;
}

void Parameter::set(int index) {
  assigned();
  verify(index, detail::bindNull(command.bindTarget(), index));
}

void Parameter::set(int index, const int& value) {
  assigned();
  verify(index, detail::bindInt(command.bindTarget(), index, value));
}

void Parameter::set(int index, const long long& value) {
  assigned();
  verify(index, detail::bindInt64(command.bindTarget(), index, value));
}

void Parameter::set(int index, const double& value) {
  assigned();
  verify(index, detail::bindDouble(command.bindTarget(), index, value));
}

void Parameter::set(int index, const std::string& value) {
  assigned();
  verify(index, detail::bindText(command.bindTarget(), index, value.data(), value.size()));
}

void Parameter::set(int index, const char* value) {
  assigned();
  verify(index, detail::bindText(command.bindTarget(), index, value));
}

void Parameter::set(int index, const std::wstring& value) {
  assigned();
  verify(index, detail::bindWideText(command.bindTarget(), index, value.c_str(), value.size()));
}

void Parameter::set(int index, const wchar_t* value) {
  assigned();
  verify(index, detail::bindWideText(command.bindTarget(), index, value));
}

void Parameter::set(int index, const char* data, int length) {
  assigned();
  verify(index, detail::bindBlob(command.bindTarget(), index, data, length));
}

void Parameter::set(int index, const void* data, int length) {
  assigned();
  verify(index, detail::bindBlob(command.bindTarget(), index, data, length));
}

}  // namespace sqliteprovider
