-- Generates the bulk of a demo phone's messages, deterministically, from
-- what the phone's own SQL set up before it:
--   demo_period  one row: first date (seconds since 2001-01-01), seconds
--                between messages, the unit of the message dates (1 for
--                seconds, 1000000000 for nanoseconds), the number of messages
--                and the prefix of their guids
--   demo_chat    every conversation's chat ROWID and language (phrase.lang)
--   demo_slot    a weighted draw: each row names a chat, k from 0 up
-- Message n (1, 2, ...) gets ROWID n, the conversation of slot (17 n) mod
-- slots, a phrase of its language, and in a group one of its members as
-- sender; messages of the language 'svc' only ever arrive.
CREATE TEMP TABLE demo_msg AS
  WITH RECURSIVE seq(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM seq WHERE n < (SELECT count FROM demo_period))
  SELECT n, (SELECT chat_id FROM demo_slot WHERE k = (n * 17) % (SELECT count(*) FROM demo_slot)) AS chat_id
  FROM seq;

WITH g AS (
  SELECT m.n, m.chat_id, d.lang, c.style, c.service_name, c.account_login, c.chat_identifier,
         CASE WHEN d.lang = 'svc' THEN 0 ELSE (m.n * 7 + m.n / 3) % 2 END AS from_me,
         p.start + m.n * p.step + (m.n * 7919) % 36000 AS secs, p.unit, p.prefix
  FROM demo_msg m JOIN demo_chat d ON d.chat_id = m.chat_id JOIN chat c ON c.ROWID = m.chat_id, demo_period p)
INSERT INTO message(ROWID, guid, text, handle_id, service, account, date, date_read, date_delivered,
                    is_delivered, is_finished, is_from_me, is_read, is_sent, cache_roomnames)
SELECT n, printf('%s-%05d', prefix, n),
       (SELECT f.text FROM phrase f
         WHERE f.lang = g.lang AND f.k = (g.n * 7 + g.chat_id) % (SELECT count(*) FROM phrase f2 WHERE f2.lang = g.lang)),
       CASE WHEN style <> 43 THEN (SELECT handle_id FROM chat_handle_join j WHERE j.chat_id = g.chat_id)
            WHEN from_me = 1 THEN 0
            -- the member whose rank among the chat's handles is n mod members
            ELSE (SELECT j.handle_id FROM chat_handle_join j
                   WHERE j.chat_id = g.chat_id
                     AND (SELECT count(*) FROM chat_handle_join r WHERE r.chat_id = j.chat_id AND r.handle_id < j.handle_id)
                         = g.n % (SELECT count(*) FROM chat_handle_join j2 WHERE j2.chat_id = g.chat_id))
       END,
       service_name, account_login, secs * unit,
       CASE WHEN from_me = 0 THEN (secs + 90) * unit ELSE 0 END,
       CASE WHEN from_me = 1 THEN (secs + 4) * unit ELSE 0 END,
       1, 1, from_me, 1 - from_me, from_me,
       CASE WHEN style = 43 THEN chat_identifier END
FROM g;

INSERT INTO chat_message_join(chat_id, message_id) SELECT chat_id, n FROM demo_msg;
