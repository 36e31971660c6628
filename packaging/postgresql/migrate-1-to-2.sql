-- Brings a database of schema version 1 to version 2, in one transaction, keeping every row:
--     psql -v ON_ERROR_STOP=1 -1 -d ostrel -f migrate-1-to-2.sql
-- or ostrel-card journal --upgrade-server ADRESSE, which runs this same file. schema.sql ends
-- with it, so that a new database and a migrated one are alike.
-- Version 2:
--   - the reservation passes over every serial given or seen on a card and says which it
--     passed; the last serial of the series is given; a reformatted card keeps its old serial;
--   - every row carries a key made by the station (uuid): a call sent again returns its row;
--   - a reserved format can only end written, failed or cancelled, and stays in the index of
--     given serials; CHECKs bound serials, card images, outcomes, operations and names;
--   - the site's own random id (site_id), under which stations keep what waits for the server;
--   - rows copied from a station's journal are keyed by that file's id;
--   - station logins get idle_in_transaction_session_timeout and statement_timeout.

SET LOCAL client_min_messages = warning;
LOCK TABLE ostrel.schema_version, ostrel.series, ostrel.operations IN ACCESS EXCLUSIVE MODE;
DO $$
BEGIN
  IF (SELECT max(version) FROM ostrel.schema_version) IS DISTINCT FROM 1 THEN
    RAISE EXCEPTION 'schéma en version %, pas 1', (SELECT max(version) FROM ostrel.schema_version)
      USING ERRCODE = 'OS004';
  END IF;
END
$$;

SET LOCAL ROLE ostrel_owner;

-- The site: created once, never changed.
CREATE TABLE ostrel.site (
  one boolean PRIMARY KEY DEFAULT true CHECK (one),
  id uuid NOT NULL DEFAULT gen_random_uuid()
);
INSERT INTO ostrel.site DEFAULT VALUES;

-- The blank card's serial (FF FF FF FF) and anything else out of range is no serial.
UPDATE ostrel.operations SET serial_old = NULL
 WHERE serial_old NOT BETWEEN 0 AND 999999999;

ALTER TABLE ostrel.operations
  ADD COLUMN uuid uuid,
  ADD COLUMN reserved boolean NOT NULL DEFAULT false,
  ADD COLUMN origin_file uuid;
UPDATE ostrel.operations SET uuid = gen_random_uuid();
ALTER TABLE ostrel.operations ALTER COLUMN uuid SET DEFAULT gen_random_uuid(),
  ALTER COLUMN uuid SET NOT NULL,
  ADD CONSTRAINT operations_uuid_key UNIQUE (uuid);

-- The formats version 1 reserved: every one that names a serial and was not copied. One that
-- a station relabelled so that its serial was given again stays out (its serial is on another
-- card).
UPDATE ostrel.operations o SET reserved = true
 WHERE operation = 'formatage' AND serial_new IS NOT NULL AND origin_id IS NULL
   AND NOT EXISTS (SELECT FROM ostrel.operations g
                    WHERE g.serial_new = o.serial_new AND g.id <> o.id
                      AND g.operation = 'formatage'
                      AND g.outcome IN ('écrite et vérifiée', 'échec d''écriture', 'interrompue')
                      AND o.outcome NOT IN ('écrite et vérifiée', 'échec d''écriture',
                                            'interrompue'));

-- Copies are keyed by the journal file's id; rows copied by version 1 keep their station.
ALTER TABLE ostrel.operations DROP CONSTRAINT IF EXISTS operations_origin_station_origin_id_key,
  ADD CONSTRAINT operations_origin_file_origin_id_key UNIQUE (origin_file, origin_id);
CREATE INDEX by_origin_station ON ostrel.operations (origin_station, origin_id)
  WHERE origin_file IS NULL;

-- Bounds for every new row; rows already stored are kept as they are (NOT VALID).
ALTER TABLE ostrel.operations
  ADD CONSTRAINT serial_new_in_range CHECK (serial_new BETWEEN 0 AND 999999999) NOT VALID,
  ADD CONSTRAINT serial_old_in_range CHECK (serial_old BETWEEN 0 AND 999999999) NOT VALID,
  ADD CONSTRAINT card_before_size CHECK (octet_length(card_before) = 256) NOT VALID,
  ADD CONSTRAINT card_after_size CHECK (octet_length(card_after) = 256) NOT VALID,
  ADD CONSTRAINT names_size CHECK (length(station) <= 256 AND length(program) <= 256
                                   AND length(reader) <= 4096) NOT VALID,
  ADD CONSTRAINT known_operation CHECK (operation IN ('formatage', 'réécriture', 'crédit',
                                                      'jeton', 'lecture')) NOT VALID,
  ADD CONSTRAINT known_outcome CHECK (outcome IN ('écrite et vérifiée', 'échec d''écriture',
                                                  'interrompue', 'code refusé',
                                                  'carte verrouillée', 'annulée',
                                                  'non présenté (dernier essai)')) NOT VALID;

-- A serial given by a format that may have reached its card appears once; a reserved format
-- never leaves the index, whatever it became.
DROP INDEX ostrel.one_card_per_serial;
CREATE UNIQUE INDEX one_card_per_serial ON ostrel.operations (serial_new)
  WHERE operation = 'formatage' AND serial_new IS NOT NULL
    AND (reserved OR outcome IN ('écrite et vérifiée', 'échec d''écriture', 'interrompue'));

DROP FUNCTION IF EXISTS ostrel.reserve_serial(text, text, text, integer, bytea);
DROP FUNCTION IF EXISTS ostrel.add_operation(text, text, text, text, bigint, integer, integer,
                                             integer, bytea);
DROP FUNCTION IF EXISTS ostrel.finish_operation(bigint, text, integer, bytea);
DROP FUNCTION IF EXISTS ostrel.issued_at(bigint);
DROP FUNCTION IF EXISTS ostrel.unfinished_format(bigint);
DROP FUNCTION IF EXISTS ostrel.list_operations(bigint, timestamptz);
DROP FUNCTION IF EXISTS ostrel.next_serial();
DROP FUNCTION IF EXISTS ostrel.next_marked_serial(bigint);

-- The serial after s that still carries the format marker 0x42 in its third byte and fits
-- nine characters; NULL when there is none.
CREATE FUNCTION ostrel.next_marked_serial(s bigint) RETURNS bigint
LANGUAGE plpgsql IMMUTABLE SET search_path = pg_catalog, ostrel AS $$
DECLARE
  n bigint := s + 1;
  upper bigint;
BEGIN
  IF (n >> 8) & 255 <> 66 THEN
    upper := n >> 16;
    IF (n >> 8) & 255 > 66 THEN
      upper := upper + 1;
    END IF;
    n := (upper << 16) | (66 << 8);
  END IF;
  IF n > 999999999 THEN
    RETURN NULL;
  END IF;
  RETURN n;
END
$$;

-- When serial was given to a card, or may have been, or a card was seen holding it.
CREATE FUNCTION ostrel.issued_at(p_serial bigint) RETURNS timestamptz
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
  SELECT min(time) FROM ostrel.operations
  WHERE (serial_new = p_serial AND operation = 'formatage'
         AND (reserved OR outcome IN ('écrite et vérifiée', 'échec d''écriture', 'interrompue')))
     OR (serial_old = p_serial AND operation IN ('formatage', 'réécriture'));
$$;

-- Reserves the serial of a blank card in one transaction: the series row locked, every serial
-- given or seen passed over (skipped, with when each was seen), the format's row added
-- "interrompue" under the station's key, the series advanced. The same key sent again returns
-- the row it made. Errors carry SQLSTATE OS001 (no series) or OS002 (series exhausted or
-- without the marker).
CREATE FUNCTION ostrel.reserve_serial(p_key uuid, p_station text, p_program text,
                                      p_reader text, p_supplier integer, p_before bytea,
                                      p_serial_old bigint,
                                      OUT serial bigint, OUT row_id bigint,
                                      OUT skipped bigint[], OUT skipped_seen text[])
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
DECLARE
  seen timestamptz;
BEGIN
  skipped := '{}';
  skipped_seen := '{}';
  SELECT o.serial_new, o.id INTO serial, row_id FROM ostrel.operations o
   WHERE o.uuid = p_key AND o.login = session_user AND o.reserved;
  IF FOUND THEN
    RETURN;
  END IF;
  SELECT next_serial INTO serial FROM ostrel.series FOR UPDATE;
  IF NOT FOUND THEN
    RAISE EXCEPTION 'série absente' USING ERRCODE = 'OS001';
  END IF;
  IF (serial >> 8) & 255 <> 66 THEN
    IF serial = 999999999 THEN
      RAISE EXCEPTION 'série épuisée' USING ERRCODE = 'OS002';
    END IF;
    RAISE EXCEPTION 'série % sans la marque de formatage', serial USING ERRCODE = 'OS002';
  END IF;
  LOOP
    seen := ostrel.issued_at(serial);
    IF seen IS NULL THEN
      BEGIN
        INSERT INTO ostrel.operations (uuid, station, program, reader, operation, serial_new,
                                       serial_old, supplier, outcome, card_before, reserved)
        VALUES (p_key, p_station, p_program, p_reader, 'formatage', serial, p_serial_old,
                p_supplier, 'interrompue', p_before, true)
        ON CONFLICT (uuid) DO NOTHING
        RETURNING id INTO row_id;
        IF row_id IS NULL THEN
          RAISE EXCEPTION 'clé % déjà employée', p_key USING ERRCODE = '42501';
        END IF;
        EXIT;
      EXCEPTION WHEN unique_violation THEN
        seen := now(); -- a copy gave it meanwhile
      END;
    END IF;
    skipped := skipped || serial;
    skipped_seen := skipped_seen ||
                    to_char(seen AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS"Z"');
    serial := ostrel.next_marked_serial(serial);
    IF serial IS NULL THEN
      RAISE EXCEPTION 'série épuisée' USING ERRCODE = 'OS002';
    END IF;
  END LOOP;
  -- After the last serial, a value without the marker: the series is exhausted.
  UPDATE ostrel.series SET next_serial = coalesce(ostrel.next_marked_serial(serial), 999999999);
END
$$;

-- Adds a row "interrompue" with no serial given: a serial is only ever given by reserve_serial
-- (a format whose card refused its code is recorded here, without one). The same key sent
-- again returns the row it made.
CREATE FUNCTION ostrel.add_operation(p_key uuid, p_station text, p_program text, p_reader text,
                                     p_operation text, p_serial_old bigint,
                                     p_supplier integer, p_kind integer, p_credits integer,
                                     p_before bytea) RETURNS bigint
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
DECLARE
  new_id bigint;
BEGIN
  IF p_operation NOT IN ('formatage', 'réécriture', 'crédit', 'jeton', 'lecture') THEN
    RAISE EXCEPTION 'opération % refusée', p_operation USING ERRCODE = '42501';
  END IF;
  INSERT INTO ostrel.operations (uuid, station, program, reader, operation, serial_old,
                                 supplier, kind, credits, outcome, card_before)
  VALUES (p_key, p_station, p_program, p_reader, p_operation, p_serial_old, p_supplier, p_kind,
          p_credits, 'interrompue', p_before)
  ON CONFLICT (uuid) DO NOTHING
  RETURNING id INTO new_id;
  IF new_id IS NULL THEN
    SELECT id INTO new_id FROM ostrel.operations
     WHERE uuid = p_key AND login = session_user AND NOT reserved;
    IF NOT FOUND THEN
      RAISE EXCEPTION 'clé % déjà employée', p_key USING ERRCODE = '42501';
    END IF;
  END IF;
  RETURN new_id;
END
$$;

-- Finishes a row the caller's login added and that is still "interrompue"; 1, the row changed.
-- A reserved format can only end written, failed, or cancelled before any write. Sending the
-- same outcome again (its answer was lost) changes nothing and returns 1; anything else fails.
CREATE FUNCTION ostrel.finish_operation(p_id bigint, p_outcome text, p_attempts_left integer,
                                        p_after bytea) RETURNS integer
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
DECLARE
  r record;
BEGIN
  IF p_outcome NOT IN ('écrite et vérifiée', 'échec d''écriture', 'code refusé',
                       'carte verrouillée', 'annulée', 'non présenté (dernier essai)') THEN
    RAISE EXCEPTION 'issue % refusée', p_outcome USING ERRCODE = '42501';
  END IF;
  SELECT outcome, reserved, attempts_left, card_after INTO r FROM ostrel.operations
   WHERE id = p_id AND login = session_user FOR UPDATE;
  IF FOUND AND r.outcome <> 'interrompue' AND r.outcome = p_outcome
     AND r.attempts_left IS NOT DISTINCT FROM p_attempts_left
     AND r.card_after IS NOT DISTINCT FROM p_after THEN
    RETURN 1;
  END IF;
  -- A reserved format whose write failed is finished when its card comes back, as a file
  -- journal does: formatted again in full with the same serial.
  IF NOT FOUND OR NOT (r.outcome = 'interrompue'
                       OR (r.reserved AND r.outcome = 'échec d''écriture'
                           AND p_outcome IN ('écrite et vérifiée', 'échec d''écriture'))) THEN
    RAISE EXCEPTION 'opération % : pas une opération interrompue de ce poste', p_id
      USING ERRCODE = '42501';
  END IF;
  IF r.reserved AND p_outcome NOT IN ('écrite et vérifiée', 'échec d''écriture', 'annulée') THEN
    RAISE EXCEPTION 'issue % refusée pour un formatage réservé', p_outcome
      USING ERRCODE = '42501';
  END IF;
  UPDATE ostrel.operations
     SET outcome = p_outcome, attempts_left = p_attempts_left, card_after = p_after
   WHERE id = p_id;
  RETURN 1;
END
$$;

-- The format of this login that gave p_serial and is still "interrompue", or whose write failed
-- (its card is formatted again in full with that serial, then the row finished); NULL when
-- there is none.
CREATE FUNCTION ostrel.unfinished_format(p_serial bigint) RETURNS bigint
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
  SELECT max(id) FROM ostrel.operations
  WHERE serial_new = p_serial AND operation = 'formatage'
    AND (outcome = 'interrompue' OR (reserved AND outcome = 'échec d''écriture'))
    AND login = session_user;
$$;

-- The rows, newest first, by serial (given or held) and from a day on.
CREATE FUNCTION ostrel.list_operations(p_serial bigint, p_since timestamptz)
RETURNS SETOF ostrel.operations
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
  SELECT * FROM ostrel.operations
  WHERE (p_serial IS NULL OR serial_new = p_serial OR serial_old = p_serial)
    AND (p_since IS NULL OR time >= p_since)
  ORDER BY time DESC, id DESC;
$$;

-- The serial the next blank card receives; NULL before the series is started.
CREATE FUNCTION ostrel.next_serial() RETURNS bigint
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
  SELECT next_serial FROM ostrel.series;
$$;

-- The site's id: what a station keeps for this series is filed under it.
CREATE FUNCTION ostrel.site_id() RETURNS uuid
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
  SELECT id FROM ostrel.site;
$$;

REVOKE ALL ON ALL TABLES IN SCHEMA ostrel FROM PUBLIC;
REVOKE ALL ON ALL SEQUENCES IN SCHEMA ostrel FROM PUBLIC;
REVOKE EXECUTE ON ALL FUNCTIONS IN SCHEMA ostrel FROM PUBLIC;
GRANT EXECUTE ON FUNCTION ostrel.issued_at(bigint), ostrel.next_serial(), ostrel.site_id(),
  ostrel.reserve_serial(uuid, text, text, text, integer, bytea, bigint),
  ostrel.add_operation(uuid, text, text, text, text, bigint, integer, integer, integer, bytea),
  ostrel.finish_operation(bigint, text, integer, bytea), ostrel.unfinished_format(bigint),
  ostrel.list_operations(bigint, timestamptz)
  TO ostrel_station;

UPDATE ostrel.schema_version SET version = 2;

RESET ROLE;

-- A stuck or hostile station holds no lock for long: limits on every station login (settings
-- on the group role are not inherited by its members). Run by the administrator, who may alter
-- roles, here and after making a login; the number of logins set.
CREATE OR REPLACE FUNCTION ostrel.configure_station_logins() RETURNS integer
LANGUAGE plpgsql SET search_path = pg_catalog, ostrel AS $$
DECLARE
  who text;
  n integer := 0;
BEGIN
  FOR who IN SELECT m.rolname FROM pg_auth_members a
                 JOIN pg_roles m ON m.oid = a.member
                 JOIN pg_roles g ON g.oid = a.roleid
                WHERE g.rolname = 'ostrel_station' AND m.rolcanlogin LOOP
    EXECUTE format('ALTER ROLE %I SET idle_in_transaction_session_timeout = %L', who, '10s');
    EXECUTE format('ALTER ROLE %I SET statement_timeout = %L', who, '120s');
    n := n + 1;
  END LOOP;
  RETURN n;
END
$$;
ALTER FUNCTION ostrel.configure_station_logins() OWNER TO ostrel_owner;
REVOKE EXECUTE ON FUNCTION ostrel.configure_station_logins() FROM PUBLIC;
DO $$ BEGIN PERFORM ostrel.configure_station_logins(); END $$;
