-- The demo owner's address book, shared by both demo phones. Runs on the
-- phone's AddressBook.sqlitedb schema (ABPerson, ABMultiValue); property 3
-- is a phone number as typed on the phone, property 4 an e-mail address.
INSERT INTO ABPerson(ROWID, First, Last, Organization, Kind) VALUES
  (1, 'Emma', 'Clarke', NULL, 0),
  (2, '伟', '刘', NULL, 0),
  (3, 'ليلى', 'حداد', NULL, 0),
  (4, 'Noah', 'Brooks', NULL, 0),
  (5, 'Mum', NULL, NULL, 0),
  (6, 'Sam', 'Patel', NULL, 0),
  (7, 'Olivia', 'Chen', NULL, 0),
  (8, 'Jack', 'Murphy', NULL, 0),
  (9, 'Ana', 'Souza', NULL, 0),
  (10, 'Priya', 'Raman', NULL, 0),
  (11, NULL, NULL, 'Riverside Dental', 1),
  (12, 'Tom', 'Becker', NULL, 0);
INSERT INTO ABMultiValue(record_id, property, identifier, label, value) VALUES
  (1, 3, 0, 1, '(415) 555-0101'),
  (1, 4, 1, 1, 'emma.clarke@example.com'),
  (2, 3, 0, 1, '+86 138 0013 8000'),
  (3, 3, 0, 1, '+971 50 123 4567'),
  (4, 4, 0, 1, 'noah.brooks@example.com'),
  (5, 3, 0, 1, '415-555-0102'),
  (6, 3, 0, 1, '415.555.0103'),
  (7, 3, 0, 1, '+1 415 555 0104'),
  (8, 3, 0, 1, '+44 7700 900123'),
  (9, 3, 0, 1, '+55 11 98765-4321'),
  (10, 3, 0, 1, '+1 (628) 555-0107'),
  (11, 3, 0, 1, '24273'),
  (12, 4, 0, 1, 'tom.becker@example.com');
