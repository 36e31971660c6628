-- The schema as version 1 of the program shipped it: a database to migrate in the tests.
-- The shared serial series and journal of card operations of several stations.
-- Load it once into an empty database, as a superuser (psql sets ON_ERROR_STOP below):
--     psql -v ON_ERROR_STOP=1 -1 -d ostrel -f schema.sql
-- Roles (cluster-wide, created when absent):
--   ostrel_owner    owns every object; give it to the administrator (GRANT ostrel_owner TO ...)
--   ostrel_station  what a station login is given (GRANT ostrel_station TO ...): it may only
--                   call the functions below, which reserve serials, add rows, finish the
--                   login's own rows still "interrompue", and read. No table rights at all.
\set ON_ERROR_STOP 1

DO $$
BEGIN
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'ostrel_owner') THEN
    CREATE ROLE ostrel_owner NOLOGIN;
  END IF;
  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'ostrel_station') THEN
    CREATE ROLE ostrel_station NOLOGIN;
  END IF;
END
$$;

CREATE SCHEMA ostrel AUTHORIZATION ostrel_owner;
REVOKE ALL ON SCHEMA ostrel FROM PUBLIC;
GRANT USAGE ON SCHEMA ostrel TO ostrel_station;
SET ROLE ostrel_owner;
-- Functions created from here on are not callable by everyone.
ALTER DEFAULT PRIVILEGES IN SCHEMA ostrel REVOKE EXECUTE ON FUNCTIONS FROM PUBLIC;

-- A later program migrates from the version recorded here.
CREATE TABLE ostrel.schema_version (version integer NOT NULL);
INSERT INTO ostrel.schema_version VALUES (1);

-- One row: the serial the next blank card receives. Absent until the administrator starts
-- the series (ostrel-card journal --init-server URI --next N).
CREATE TABLE ostrel.series (
  one boolean PRIMARY KEY DEFAULT true CHECK (one),
  next_serial bigint NOT NULL CHECK (next_serial BETWEEN 0 AND 999999999)
);

CREATE TABLE ostrel.operations (
  id bigserial PRIMARY KEY,
  time timestamptz NOT NULL DEFAULT now(),
  station text NOT NULL,
  login text NOT NULL DEFAULT session_user,
  program text NOT NULL,
  reader text NOT NULL,
  operation text NOT NULL,
  serial_new bigint,
  serial_old bigint,
  supplier integer,
  kind integer,
  credits integer,
  attempts_left integer,
  outcome text NOT NULL,
  card_before bytea,
  card_after bytea,
  -- Rows copied from a station's own journal: that station and the row's id there.
  origin_station text,
  origin_id bigint,
  UNIQUE (origin_station, origin_id)
);
-- A serial given by a format that may have reached its card appears once.
CREATE UNIQUE INDEX one_card_per_serial ON ostrel.operations (serial_new)
  WHERE operation = 'formatage'
    AND outcome IN ('écrite et vérifiée', 'échec d''écriture', 'interrompue');
CREATE INDEX by_serial_old ON ostrel.operations (serial_old);
CREATE INDEX by_time ON ostrel.operations (time);

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
         AND outcome IN ('écrite et vérifiée', 'échec d''écriture', 'interrompue'))
     OR (serial_old = p_serial AND operation IN ('formatage', 'réécriture'));
$$;

-- Reserves the next serial for a blank card in one transaction: the series row locked, the
-- serial checked, the format's row added "interrompue", the series advanced. Errors carry
-- SQLSTATE OS001 (no series), OS002 (series exhausted or without the marker), OS003 (already
-- given: the message holds the time).
CREATE FUNCTION ostrel.reserve_serial(p_station text, p_program text, p_reader text,
                                      p_supplier integer, p_before bytea,
                                      OUT serial bigint, OUT row_id bigint)
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
DECLARE
  following bigint;
  given timestamptz;
BEGIN
  SELECT next_serial INTO serial FROM ostrel.series FOR UPDATE;
  IF NOT FOUND THEN
    RAISE EXCEPTION 'série absente' USING ERRCODE = 'OS001';
  END IF;
  IF (serial >> 8) & 255 <> 66 THEN
    RAISE EXCEPTION 'série % sans la marque de formatage', serial USING ERRCODE = 'OS002';
  END IF;
  following := ostrel.next_marked_serial(serial);
  IF following IS NULL THEN
    RAISE EXCEPTION 'série épuisée' USING ERRCODE = 'OS002';
  END IF;
  given := ostrel.issued_at(serial);
  IF given IS NOT NULL THEN
    RAISE EXCEPTION '%', to_char(given AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS"Z"')
      USING ERRCODE = 'OS003';
  END IF;
  INSERT INTO ostrel.operations (station, program, reader, operation, serial_new, supplier,
                                 outcome, card_before)
  VALUES (p_station, p_program, p_reader, 'formatage', serial, p_supplier, 'interrompue',
          p_before)
  RETURNING id INTO row_id;
  UPDATE ostrel.series SET next_serial = following;
END
$$;

-- Adds a row "interrompue" with no serial given: a serial is only ever given by reserve_serial
-- (a format whose card refused its code is recorded here, without one).
CREATE FUNCTION ostrel.add_operation(p_station text, p_program text, p_reader text,
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
  INSERT INTO ostrel.operations (station, program, reader, operation, serial_old, supplier,
                                 kind, credits, outcome, card_before)
  VALUES (p_station, p_program, p_reader, p_operation, p_serial_old, p_supplier, p_kind,
          p_credits, 'interrompue', p_before)
  RETURNING id INTO new_id;
  RETURN new_id;
END
$$;

-- Finishes a row the caller's login added and that is still "interrompue". Sending the same
-- outcome again (its answer was lost) changes nothing and succeeds.
CREATE FUNCTION ostrel.finish_operation(p_id bigint, p_outcome text, p_attempts_left integer,
                                        p_after bytea) RETURNS void
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
BEGIN
  IF p_outcome NOT IN ('écrite et vérifiée', 'échec d''écriture', 'code refusé',
                       'carte verrouillée') THEN
    RAISE EXCEPTION 'issue % refusée', p_outcome USING ERRCODE = '42501';
  END IF;
  UPDATE ostrel.operations
     SET outcome = p_outcome, attempts_left = p_attempts_left, card_after = p_after
   WHERE id = p_id AND login = session_user AND outcome = 'interrompue';
  IF FOUND THEN
    RETURN;
  END IF;
  PERFORM FROM ostrel.operations
   WHERE id = p_id AND login = session_user AND outcome = p_outcome
     AND attempts_left IS NOT DISTINCT FROM p_attempts_left
     AND card_after IS NOT DISTINCT FROM p_after;
  IF NOT FOUND THEN
    RAISE EXCEPTION 'opération % : pas une opération interrompue de ce poste', p_id
      USING ERRCODE = '42501';
  END IF;
END
$$;

-- The format of this login that gave p_serial and is still "interrompue" (its card is formatted
-- again in full with that serial, then the row finished); NULL when there is none.
CREATE FUNCTION ostrel.unfinished_format(p_serial bigint) RETURNS bigint
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
  SELECT max(id) FROM ostrel.operations
  WHERE serial_new = p_serial AND operation = 'formatage' AND outcome = 'interrompue'
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

REVOKE ALL ON ALL TABLES IN SCHEMA ostrel FROM PUBLIC;
REVOKE ALL ON ALL SEQUENCES IN SCHEMA ostrel FROM PUBLIC;
REVOKE EXECUTE ON ALL FUNCTIONS IN SCHEMA ostrel FROM PUBLIC;
GRANT EXECUTE ON FUNCTION ostrel.issued_at(bigint), ostrel.next_serial(),
  ostrel.reserve_serial(text, text, text, integer, bytea),
  ostrel.add_operation(text, text, text, text, bigint, integer, integer, integer, bytea),
  ostrel.finish_operation(bigint, text, integer, bytea), ostrel.unfinished_format(bigint),
  ostrel.list_operations(bigint, timestamptz)
  TO ostrel_station;
RESET ROLE;
