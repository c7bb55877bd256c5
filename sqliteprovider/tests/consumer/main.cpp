// Opens an in-memory database, stores a row, reads it back and catches the
// library's exception.
#include <sqliteprovider/sqliteprovider.h>

#include <iostream>

int main() {
  sqliteprovider::Connection db(":memory:");
  db.open();
  sqliteprovider::Command(db, "CREATE TABLE notes(id INTEGER PRIMARY KEY, text TEXT)").executeNonQuery();

  sqliteprovider::Command insert(db, "INSERT INTO notes(text) VALUES (?)");
  insert.appendParameter(1, std::string("hello"));
  insert.executeNonQuery();

  sqliteprovider::Command query(db, "SELECT id, text FROM notes");
  for (query.execute(); !query.isEof(); query.moveNext()) {
    std::cout << query.getInt32(0) << ": " << query.getString(1) << '\n';
  }

  try {
    sqliteprovider::Command(db, "SELECT * FROM missing");
  } catch (const sqliteprovider::Exception& e) {
    std::cout << e.what() << '\n';
  }
  return 0;
}
