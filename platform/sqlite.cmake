# SQLite backend of the word database.
