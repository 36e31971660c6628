-- Brings a database of schema version 2 to version 3, in one transaction, keeping every row:
--     psql -v ON_ERROR_STOP=1 -1 -d ostrel -f migrate-2-to-3.sql
-- or ostrel-card journal --upgrade-server ADRESSE, which runs this same file after
-- migrate-1-to-2.sql when the database is of version 1.
-- Version 3: the reads a station makes are served by indexes, one function per read:
--   - a page of the listing, newest first by (time, id), after a row, with the day range,
--     station, operation and outcome filters; the same for the rows of one serial;
--   - how many rows match, counted up to a cap;
--   - a row's card images, read alone;
--   - a card's history;
--   - the rows grouped by local day in the station's time zone, for the daily totals.
-- No function compares a column with a parameter that may be NULL under an OR: a bound left
-- open is an infinite one, so that the index's range stays a range.

SET LOCAL client_min_messages = warning;
LOCK TABLE ostrel.schema_version, ostrel.operations IN ACCESS EXCLUSIVE MODE;
DO $$
BEGIN
  IF (SELECT max(version) FROM ostrel.schema_version) IS DISTINCT FROM 2 THEN
    RAISE EXCEPTION 'schéma en version %, pas 2', (SELECT max(version) FROM ostrel.schema_version)
      USING ERRCODE = 'OS004';
  END IF;
END
$$;

SET LOCAL ROLE ostrel_owner;

-- The listing's order and day range; a serial given or held.
DROP INDEX IF EXISTS ostrel.by_time;
CREATE INDEX by_time ON ostrel.operations (time, id);
CREATE INDEX by_serial_new ON ostrel.operations (serial_new);
-- The daily totals read only these columns: from the index alone, not the rows with their images.
CREATE INDEX by_time_counts ON ostrel.operations (time) INCLUDE (operation, outcome, credits);

-- The columns of a page: no card images.
CREATE TYPE ostrel.operation_row AS (
  id bigint, time timestamptz, station text, login text, program text, reader text,
  operation text, serial_new bigint, serial_old bigint, supplier integer, kind integer,
  credits integer, attempts_left integer, outcome text, uuid uuid
);

-- The filters set, as conditions over the parameters of operation_rows and count_operations:
-- a filter left NULL is no condition at all, so that the planner estimates each query as it is
-- (a condition such as station = coalesce($5, station) would be thought to keep almost no row,
-- and the planner would then sort the whole table rather than walk by_time).
CREATE FUNCTION ostrel.filter_conditions(p_serial bigint, p_from timestamptz,
                                         p_before timestamptz, p_station text, p_operation text,
                                         p_outcome text) RETURNS text
LANGUAGE sql IMMUTABLE SET search_path = pg_catalog, ostrel AS $$
  SELECT CASE WHEN p_serial IS NOT NULL THEN ' AND (o.serial_new = $9 OR o.serial_old = $9)'
              ELSE '' END
      || CASE WHEN p_from IS NOT NULL THEN ' AND o.time >= $3' ELSE '' END
      || CASE WHEN p_before IS NOT NULL THEN ' AND o.time < $4' ELSE '' END
      || CASE WHEN p_station IS NOT NULL THEN ' AND o.station = $5' ELSE '' END
      || CASE WHEN p_operation IS NOT NULL THEN ' AND o.operation = $6' ELSE '' END
      || CASE WHEN p_outcome IS NOT NULL THEN ' AND o.outcome = $7' ELSE '' END;
$$;

-- At most p_limit rows, newest first, that follow the row p_after (NULL: from the newest), of
-- serial p_serial (given or held; NULL: any), from p_from to before p_before, of station,
-- operation and outcome when given. by_time serves the order and the range, the serial's
-- indexes its few rows.
CREATE FUNCTION ostrel.operation_rows(p_serial bigint, p_after bigint, p_from timestamptz,
                                      p_before timestamptz, p_station text, p_operation text,
                                      p_outcome text, p_limit integer)
RETURNS SETOF ostrel.operation_row
LANGUAGE plpgsql STABLE SET search_path = pg_catalog, ostrel AS $$
DECLARE
  after_time timestamptz := 'infinity';
  after_id bigint := 9223372036854775807;
BEGIN
  IF p_after IS NOT NULL THEN
    SELECT o.time, o.id INTO after_time, after_id FROM ostrel.operations o WHERE o.id = p_after;
    IF NOT FOUND THEN
      RETURN;
    END IF;
  END IF;
  RETURN QUERY EXECUTE
    'SELECT o.id, o.time, o.station, o.login, o.program, o.reader, o.operation, o.serial_new, '
    'o.serial_old, o.supplier, o.kind, o.credits, o.attempts_left, o.outcome, o.uuid '
    'FROM ostrel.operations o WHERE (o.time, o.id) < ($1, $2)'
    || ostrel.filter_conditions(p_serial, p_from, p_before, p_station, p_operation, p_outcome)
    || ' ORDER BY o.time DESC, o.id DESC LIMIT $8'
    USING after_time, after_id, p_from, p_before, p_station, p_operation, p_outcome, p_limit,
          p_serial;
END
$$;

-- A page of the listing, any serial.
CREATE FUNCTION ostrel.page_operations(p_after bigint, p_from timestamptz,
                                       p_before timestamptz, p_station text, p_operation text,
                                       p_outcome text, p_limit integer)
RETURNS SETOF ostrel.operation_row
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
  SELECT * FROM ostrel.operation_rows(NULL, p_after, p_from, p_before, p_station, p_operation,
                                      p_outcome, p_limit);
$$;

-- A page of the rows of one serial, given or held.
CREATE FUNCTION ostrel.page_operations_of_serial(p_serial bigint, p_after bigint,
                                                 p_from timestamptz, p_before timestamptz,
                                                 p_station text, p_operation text,
                                                 p_outcome text, p_limit integer)
RETURNS SETOF ostrel.operation_row
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
  SELECT * FROM ostrel.operation_rows(p_serial, p_after, p_from, p_before, p_station,
                                      p_operation, p_outcome, p_limit);
$$;

-- How many rows match (p_serial NULL: any), counted up to p_cap + 1 at most.
CREATE FUNCTION ostrel.count_operations(p_serial bigint, p_from timestamptz,
                                        p_before timestamptz, p_station text,
                                        p_operation text, p_outcome text, p_cap bigint)
RETURNS bigint
LANGUAGE plpgsql STABLE SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
DECLARE
  n bigint;
BEGIN
  EXECUTE 'SELECT count(*) FROM (SELECT FROM ostrel.operations o WHERE true'
    || ostrel.filter_conditions(p_serial, p_from, p_before, p_station, p_operation, p_outcome)
    || ' LIMIT $8) c'
    INTO n
    USING NULL::timestamptz, NULL::bigint, p_from, p_before, p_station, p_operation, p_outcome,
          p_cap + 1, p_serial;
  RETURN n;
END
$$;

-- The card images of one row, read when the row is chosen.
CREATE FUNCTION ostrel.operation_images(p_id bigint, OUT card_before bytea,
                                        OUT card_after bytea)
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
  SELECT card_before, card_after FROM ostrel.operations WHERE id = p_id;
$$;

-- Every row of the card that received or held p_serial, oldest first, with its images.
CREATE FUNCTION ostrel.card_history(p_serial bigint) RETURNS SETOF ostrel.operations
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
  SELECT * FROM ostrel.operations WHERE serial_new = p_serial OR serial_old = p_serial
   ORDER BY id;
$$;

-- The rows grouped by local day in time zone p_zone (an IANA name), by operation, outcome and,
-- for tokens, credits: what the daily totals are summed from. p_since and p_until: local
-- days, included (NULL: no bound), turned into instants first, so that the query is planned
-- with them and by_time_counts serves the range without reading the rows.
CREATE FUNCTION ostrel.daily_counts(p_zone text, p_since date, p_until date)
RETURNS TABLE (day text, operation text, outcome text, credits integer, n bigint,
               credit_sum bigint)
LANGUAGE plpgsql STABLE SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
DECLARE
  low timestamptz := coalesce(p_since::timestamp AT TIME ZONE p_zone, '-infinity');
  high timestamptz := coalesce((p_until + 1)::timestamp AT TIME ZONE p_zone, 'infinity');
BEGIN
  RETURN QUERY EXECUTE
    'SELECT to_char(d, ''YYYY-MM-DD''), r.operation, r.outcome, r.c, count(*), '
    'sum(coalesce(r.credits, 0))::bigint FROM (SELECT (o.time AT TIME ZONE $1)::date AS d, '
    'o.operation, o.outcome, CASE WHEN o.operation = ''jeton'' THEN o.credits END AS c, '
    'o.credits FROM ostrel.operations o WHERE o.time >= $2 AND o.time < $3) r '
    'GROUP BY d, r.operation, r.outcome, r.c ORDER BY d'
    USING p_zone, low, high;
END
$$;

-- The listing by serial or from a day: each shape a query of its own, served by its index.
CREATE OR REPLACE FUNCTION ostrel.list_operations(p_serial bigint, p_since timestamptz)
RETURNS SETOF ostrel.operations
LANGUAGE plpgsql STABLE SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
BEGIN
  IF p_serial IS NULL THEN
    RETURN QUERY SELECT * FROM ostrel.operations
      WHERE time >= coalesce(p_since, '-infinity') ORDER BY time DESC, id DESC;
  ELSE
    RETURN QUERY SELECT * FROM ostrel.operations
      WHERE (serial_new = p_serial OR serial_old = p_serial)
        AND time >= coalesce(p_since, '-infinity')
      ORDER BY time DESC, id DESC;
  END IF;
END
$$;

-- The schema's version, for a station that checks its server (it may not read the table).
CREATE FUNCTION ostrel.schema_version() RETURNS integer
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
  SELECT max(version) FROM ostrel.schema_version;
$$;

REVOKE EXECUTE ON ALL FUNCTIONS IN SCHEMA ostrel FROM PUBLIC;
GRANT EXECUTE ON FUNCTION ostrel.schema_version(), ostrel.list_operations(bigint, timestamptz),
  ostrel.page_operations(bigint, timestamptz, timestamptz, text, text, text, integer),
  ostrel.page_operations_of_serial(bigint, bigint, timestamptz, timestamptz, text, text, text,
                                   integer),
  ostrel.count_operations(bigint, timestamptz, timestamptz, text, text, text, bigint),
  ostrel.operation_images(bigint), ostrel.card_history(bigint),
  ostrel.daily_counts(text, date, date)
  TO ostrel_station;

UPDATE ostrel.schema_version SET version = 3;

RESET ROLE;
