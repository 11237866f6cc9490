-- The iPhone on iOS 12 of the same owner: six conversations from January
-- 2018 over two years (dates in nanoseconds since 2001-01-01). Runs after
-- phrases.sql on the device schema; conversations.sql then generates the
-- bulk of the messages.
INSERT INTO handle(ROWID, id, country, service, uncanonicalized_id) VALUES
  (1, '+14155550101', 'us', 'iMessage', NULL),
  (2, '+8613800138000', 'cn', 'iMessage', NULL),
  (3, '+971501234567', 'ae', 'SMS', '+971501234567'),
  (4, '+14155550102', 'us', 'iMessage', NULL),
  (5, 'tom.becker@example.com', NULL, 'iMessage', NULL),
  (6, '+14155550104', 'us', 'iMessage', NULL);

INSERT INTO chat(ROWID, guid, style, state, account_id, chat_identifier, service_name, room_name, account_login,
                 display_name, group_id) VALUES
  (1, 'iMessage;-;+14155550101', 45, 3, 'B2', '+14155550101', 'iMessage', NULL, 'E:owner@example.com', '', NULL),
  (2, 'iMessage;-;+8613800138000', 45, 3, 'B2', '+8613800138000', 'iMessage', NULL, 'E:owner@example.com', '', NULL),
  (3, 'SMS;-;+971501234567', 45, 3, 'B1', '+971501234567', 'SMS', NULL, 'P:+14155550100', '', NULL),
  (4, 'iMessage;-;+14155550102', 45, 3, 'B2', '+14155550102', 'iMessage', NULL, 'E:owner@example.com', '', NULL),
  (5, 'iMessage;-;tom.becker@example.com', 45, 3, 'B2', 'tom.becker@example.com', 'iMessage', NULL,
   'E:owner@example.com', '', NULL),
  (6, 'iMessage;+;chat554018273', 43, 3, 'B2', 'chat554018273', 'iMessage', 'chat554018273', 'E:owner@example.com',
   'Family 🏡', '7E3B2C1D-0A9F-4E8B-8C7D-6B5A4F3E2D1C');

INSERT INTO chat_handle_join(chat_id, handle_id) VALUES
  (1, 1), (2, 2), (3, 3), (4, 4), (5, 5), (6, 1), (6, 4), (6, 6);

CREATE TEMP TABLE demo_period(start INTEGER, step INTEGER, unit INTEGER, count INTEGER, prefix TEXT);
INSERT INTO demo_period VALUES (537667200, 450000, 1000000000, 140, 'C12F9B3E-MSG');
CREATE TEMP TABLE demo_chat(chat_id INTEGER, lang TEXT);
INSERT INTO demo_chat VALUES (1, 'en'), (2, 'zh'), (3, 'ar'), (4, 'en'), (5, 'en'), (6, 'en');
CREATE TEMP TABLE demo_slot(k INTEGER, chat_id INTEGER);
INSERT INTO demo_slot VALUES (0, 1), (1, 6), (2, 4), (3, 2), (4, 6), (5, 3), (6, 5), (7, 1), (8, 6), (9, 4);

INSERT INTO message(ROWID, guid, text, handle_id, service, account, date, date_read, date_delivered, is_delivered,
                    is_finished, is_from_me, is_read, is_sent, cache_has_attachments, cache_roomnames) VALUES
  (1001, 'C12F9B3E-EXT-1', char(65532) || 'Sunday lunch 🥘', 4, 'iMessage', 'e:owner@example.com',
   560000000000000000, 560000100000000000, 0, 1, 1, 0, 1, 0, 1, 'chat554018273'),
  (1002, 'C12F9B3E-EXT-2', char(65532), 1, 'iMessage', 'e:owner@example.com', 590000000000000000, 0,
   590000005000000000, 1, 1, 1, 1, 1, 1, NULL);
INSERT INTO chat_message_join(chat_id, message_id) VALUES (6, 1001), (1, 1002);

INSERT INTO attachment(ROWID, guid, created_date, filename, uti, mime_type, transfer_state, is_outgoing,
                       transfer_name) VALUES
  (1, 'C12F9B3E-ATT-1', 560000000, '~/Library/SMS/Attachments/a1/01/C12F9B3E-ATT-1/IMG_2201.JPG', 'public.jpeg',
   'image/jpeg', 5, 0, 'IMG_2201.JPG'),
  (2, 'C12F9B3E-ATT-2', 590000000, '~/Library/SMS/Attachments/b2/02/C12F9B3E-ATT-2/IMG_3107.JPG', 'public.jpeg',
   'image/jpeg', 5, 1, 'IMG_3107.JPG');
INSERT INTO message_attachment_join(message_id, attachment_id) VALUES (1001, 1), (1002, 2);
