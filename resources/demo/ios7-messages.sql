-- The iPhone on iOS 7: twelve conversations, from March 2012 over two years
-- (dates in seconds since 2001-01-01). Runs after phrases.sql on the device
-- schema; conversations.sql then generates the bulk of the messages. The
-- owner is +1 415 555 0100, owner@example.com for iMessage.
INSERT INTO handle(ROWID, id, country, service, uncanonicalized_id) VALUES
  (1, '+14155550101', 'us', 'SMS', '4155550101'),
  (2, '+8613800138000', 'cn', 'iMessage', NULL),
  (3, '+971501234567', 'ae', 'SMS', '+971501234567'),
  (4, 'noah.brooks@example.com', NULL, 'iMessage', NULL),
  (5, '+14155550102', 'us', 'iMessage', NULL),
  (6, '+14155550103', 'us', 'SMS', '4155550103'),
  (7, '+14155550104', 'us', 'iMessage', NULL),
  (8, '+447700900123', 'gb', 'SMS', '+447700900123'),
  (9, '+5511987654321', 'br', 'iMessage', NULL),
  (10, '24273', 'us', 'SMS', '24273'),
  (11, 'emma.clarke@example.com', NULL, 'iMessage', NULL),
  (12, '+16285550107', 'us', 'iMessage', NULL);

INSERT INTO chat(ROWID, guid, style, state, account_id, chat_identifier, service_name, room_name, account_login,
                 display_name) VALUES
  (1, 'SMS;-;+14155550101', 45, 3, 'A1', '+14155550101', 'SMS', NULL, 'P:+14155550100', NULL),
  (2, 'iMessage;-;+8613800138000', 45, 3, 'A2', '+8613800138000', 'iMessage', NULL, 'E:owner@example.com', NULL),
  (3, 'SMS;-;+971501234567', 45, 3, 'A1', '+971501234567', 'SMS', NULL, 'P:+14155550100', NULL),
  (4, 'iMessage;-;noah.brooks@example.com', 45, 3, 'A2', 'noah.brooks@example.com', 'iMessage', NULL,
   'E:owner@example.com', NULL),
  (5, 'iMessage;-;+14155550102', 45, 3, 'A2', '+14155550102', 'iMessage', NULL, 'E:owner@example.com', NULL),
  (6, 'SMS;-;+14155550103', 45, 3, 'A1', '+14155550103', 'SMS', NULL, 'P:+14155550100', NULL),
  (7, 'iMessage;-;+14155550104', 45, 3, 'A2', '+14155550104', 'iMessage', NULL, 'E:owner@example.com', NULL),
  (8, 'SMS;-;+447700900123', 45, 3, 'A1', '+447700900123', 'SMS', NULL, 'P:+14155550100', NULL),
  (9, 'iMessage;-;+5511987654321', 45, 3, 'A2', '+5511987654321', 'iMessage', NULL, 'E:owner@example.com', NULL),
  (10, 'SMS;-;24273', 45, 3, 'A1', '24273', 'SMS', NULL, 'P:+14155550100', NULL),
  (11, 'iMessage;+;chat318504127', 43, 3, 'A2', 'chat318504127', 'iMessage', 'chat318504127',
   'E:owner@example.com', 'Weekend Hikes 🥾'),
  (12, 'iMessage;+;chat902561338', 43, 3, 'A2', 'chat902561338', 'iMessage', 'chat902561338',
   'E:owner@example.com', NULL);

INSERT INTO chat_handle_join(chat_id, handle_id) VALUES
  (1, 1), (2, 2), (3, 3), (4, 4), (5, 5), (6, 6), (7, 7), (8, 8), (9, 9), (10, 10),
  (11, 4), (11, 7), (11, 11), (11, 12),
  (12, 5), (12, 6);

CREATE TEMP TABLE demo_period(start INTEGER, step INTEGER, unit INTEGER, count INTEGER, prefix TEXT);
INSERT INTO demo_period VALUES (352252800, 181000, 1, 348, 'D7E1A0C2-MSG');
CREATE TEMP TABLE demo_chat(chat_id INTEGER, lang TEXT);
INSERT INTO demo_chat VALUES
  (1, 'en'), (2, 'zh'), (3, 'ar'), (4, 'en'), (5, 'en'), (6, 'en'), (7, 'en'), (8, 'en'), (9, 'en'), (10, 'svc'),
  (11, 'en'), (12, 'en');
CREATE TEMP TABLE demo_slot(k INTEGER, chat_id INTEGER);
INSERT INTO demo_slot VALUES
  (0, 1), (1, 5), (2, 11), (3, 2), (4, 7), (5, 3), (6, 1), (7, 5), (8, 4), (9, 11),
  (10, 6), (11, 2), (12, 8), (13, 7), (14, 9), (15, 5), (16, 3), (17, 11), (18, 1), (19, 12),
  (20, 4), (21, 6), (22, 2), (23, 8), (24, 7), (25, 9), (26, 5), (27, 3), (28, 11), (29, 10);

-- The group's naming, and the messages that carry pictures and a video; the
-- generator draws the files at the attachments' paths and fills total_bytes.
INSERT INTO message(ROWID, guid, text, handle_id, service, account, date, date_read, date_delivered, is_delivered,
                    is_finished, is_from_me, is_read, is_sent, cache_has_attachments, cache_roomnames, item_type,
                    group_title) VALUES
  (1001, 'D7E1A0C2-EXT-1', NULL, 0, 'iMessage', 'e:owner@example.com', 352300000, 0, 0, 1, 1, 1, 1, 1, 0,
   'chat318504127', 2, 'Weekend Hikes 🥾'),
  (1002, 'D7E1A0C2-EXT-2', char(65532), 7, 'iMessage', 'e:owner@example.com', 360000000, 360000300, 0, 1, 1, 0, 1, 0,
   1, NULL, 0, NULL),
  (1003, 'D7E1A0C2-EXT-3', char(65532) || 'The view from the top! 🏔️', 7, 'iMessage', 'e:owner@example.com',
   360000600, 0, 360000610, 1, 1, 1, 1, 1, 1, NULL, 0, NULL),
  (1004, 'D7E1A0C2-EXT-4', char(65532), 4, 'iMessage', 'e:owner@example.com', 380000000, 380000200, 0, 1, 1, 0, 1, 0,
   1, 'chat318504127', 0, NULL),
  (1005, 'D7E1A0C2-EXT-5', char(65532) || 'Made it to the lake 🎥', 12, 'iMessage', 'e:owner@example.com', 380000900,
   380001000, 0, 1, 1, 0, 1, 0, 1, 'chat318504127', 0, NULL),
  (1006, 'D7E1A0C2-EXT-6', char(65532), 5, 'iMessage', 'e:owner@example.com', 395000000, 0, 395000020, 1, 1, 1, 1, 1,
   1, NULL, 0, NULL),
  (1007, 'D7E1A0C2-EXT-7', char(65532) || '北京的秋天 🍁', 2, 'iMessage', 'e:owner@example.com', 405000000, 405000500,
   0, 1, 1, 0, 1, 0, 1, NULL, 0, NULL);
INSERT INTO chat_message_join(chat_id, message_id) VALUES
  (11, 1001), (7, 1002), (7, 1003), (11, 1004), (11, 1005), (5, 1006), (2, 1007);

INSERT INTO attachment(ROWID, guid, created_date, filename, uti, mime_type, transfer_state, is_outgoing,
                       transfer_name) VALUES
  (1, 'D7E1A0C2-ATT-1', 360000000, '~/Library/SMS/Attachments/1a/10/D7E1A0C2-ATT-1/IMG_0142.JPG', 'public.jpeg',
   'image/jpeg', 5, 0, 'IMG_0142.JPG'),
  (2, 'D7E1A0C2-ATT-2', 360000600, '~/Library/SMS/Attachments/2b/11/D7E1A0C2-ATT-2/IMG_0157.JPG', 'public.jpeg',
   'image/jpeg', 5, 1, 'IMG_0157.JPG'),
  (3, 'D7E1A0C2-ATT-3', 380000000, '~/Library/SMS/Attachments/3c/12/D7E1A0C2-ATT-3/IMG_0311.JPG', 'public.jpeg',
   'image/jpeg', 5, 0, 'IMG_0311.JPG'),
  (4, 'D7E1A0C2-ATT-4', 380000900, '~/Library/SMS/Attachments/4d/13/D7E1A0C2-ATT-4/IMG_0312.MOV',
   'com.apple.quicktime-movie', 'video/quicktime', 5, 0, 'IMG_0312.MOV'),
  (5, 'D7E1A0C2-ATT-5', 395000000, '~/Library/SMS/Attachments/5e/14/D7E1A0C2-ATT-5/IMG_0420.JPG', 'public.jpeg',
   'image/jpeg', 5, 1, 'IMG_0420.JPG'),
  (6, 'D7E1A0C2-ATT-6', 405000000, '~/Library/SMS/Attachments/6f/15/D7E1A0C2-ATT-6/IMG_0533.JPG', 'public.jpeg',
   'image/jpeg', 5, 0, 'IMG_0533.JPG');
INSERT INTO message_attachment_join(message_id, attachment_id) VALUES
  (1002, 1), (1003, 2), (1004, 3), (1005, 4), (1006, 5), (1007, 6);
