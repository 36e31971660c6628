-- Brings a database of schema version 3 to version 4, in one transaction, keeping every row:
--     psql -v ON_ERROR_STOP=1 -1 -d ostrel -f migrate-3-to-4.sql
-- or ostrel-card journal --upgrade-server ADRESSE, which runs this same file after the earlier
-- steps when the database is older.
-- Version 4: what a site knows of its cards besides what it wrote on them:
--   - "contrôle" rows: a card inserted that its last write does not explain ("modifiée hors
--     poste", "inconnue du journal");
--   - oppositions ("opposition", with a reason) and their lifting ("levée d'opposition"); a
--     station may put a card in opposition, only an administrator may lift it;
--   - "remplacement": a new card given the kind and credits of a lost one, once per lost card;
--   - the daily totals by station.

SET LOCAL client_min_messages = warning;
LOCK TABLE ostrel.schema_version, ostrel.operations IN ACCESS EXCLUSIVE MODE;
DO $$
BEGIN
  IF (SELECT max(version) FROM ostrel.schema_version) IS DISTINCT FROM 3 THEN
    RAISE EXCEPTION 'schéma en version %, pas 3', (SELECT max(version) FROM ostrel.schema_version)
      USING ERRCODE = 'OS004';
  END IF;
END
$$;

SET LOCAL ROLE ostrel_owner;

ALTER TABLE ostrel.operations ADD COLUMN reason text,
  DROP CONSTRAINT known_operation,
  DROP CONSTRAINT known_outcome,
  ADD CONSTRAINT known_operation CHECK (operation IN ('formatage', 'réécriture', 'crédit',
                                                      'jeton', 'lecture', 'remplacement',
                                                      'contrôle', 'opposition',
                                                      'levée d''opposition')) NOT VALID,
  ADD CONSTRAINT known_outcome CHECK (outcome IN ('écrite et vérifiée', 'échec d''écriture',
                                                  'interrompue', 'code refusé',
                                                  'carte verrouillée', 'annulée',
                                                  'non présenté (dernier essai)',
                                                  'modifiée hors poste', 'inconnue du journal',
                                                  'enregistrée')) NOT VALID,
  ADD CONSTRAINT reason_size CHECK (length(reason) <= 1024) NOT VALID;

-- The totals by station read only the index.
DROP INDEX ostrel.by_time_counts;
CREATE INDEX by_time_counts ON ostrel.operations (time)
  INCLUDE (operation, outcome, credits, station);
CREATE UNIQUE INDEX one_replacement_per_card ON ostrel.operations (serial_old)
  WHERE operation = 'remplacement' AND outcome = 'écrite et vérifiée';
CREATE INDEX by_opposition ON ostrel.operations (serial_old)
  WHERE operation IN ('opposition', 'levée d''opposition');

-- Adds a row that touches no card, complete as it is: a check that found something, an
-- opposition, or its lifting (the administrator's alone). The same key sent again returns the
-- row it made.
CREATE FUNCTION ostrel.record_operation(p_key uuid, p_station text, p_program text,
                                        p_reader text, p_operation text, p_serial bigint,
                                        p_kind integer, p_credits integer, p_outcome text,
                                        p_reason text, p_before bytea) RETURNS bigint
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
DECLARE
  new_id bigint;
BEGIN
  IF NOT ((p_operation = 'contrôle'
           AND p_outcome IN ('modifiée hors poste', 'inconnue du journal'))
          OR (p_operation IN ('opposition', 'levée d''opposition')
              AND p_outcome = 'enregistrée')) THEN
    RAISE EXCEPTION 'opération % (%) refusée', p_operation, p_outcome USING ERRCODE = '42501';
  END IF;
  IF p_operation = 'levée d''opposition'
     AND NOT pg_has_role(session_user, 'ostrel_owner', 'MEMBER') THEN
    RAISE EXCEPTION 'réservé à l''administrateur' USING ERRCODE = '42501';
  END IF;
  IF p_serial IS NULL THEN
    RAISE EXCEPTION 'opération % sans numéro de série', p_operation USING ERRCODE = '22004';
  END IF;
  INSERT INTO ostrel.operations (uuid, station, program, reader, operation, serial_old, kind,
                                 credits, outcome, reason, card_before)
  VALUES (p_key, p_station, p_program, p_reader, p_operation, p_serial, p_kind, p_credits,
          p_outcome, p_reason, p_before)
  ON CONFLICT (uuid) DO NOTHING
  RETURNING id INTO new_id;
  IF new_id IS NULL THEN
    SELECT id INTO new_id FROM ostrel.operations
     WHERE uuid = p_key AND login = session_user AND operation = p_operation;
    IF NOT FOUND THEN
      RAISE EXCEPTION 'clé % déjà employée', p_key USING ERRCODE = '42501';
    END IF;
  END IF;
  RETURN new_id;
END
$$;

-- Adds a replacement, "interrompue" until its card is written: p_serial_new must be a card this
-- login formatted, written and verified (or whose end still waits in the station's spool: its
-- format row is then still "interrompue"). The same key sent again returns the row it made.
CREATE FUNCTION ostrel.add_replacement(p_key uuid, p_station text, p_program text,
                                       p_reader text, p_serial_old bigint, p_serial_new bigint,
                                       p_supplier integer, p_kind integer, p_credits integer,
                                       p_before bytea) RETURNS bigint
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
DECLARE
  new_id bigint;
BEGIN
  IF NOT EXISTS (SELECT FROM ostrel.operations
                  WHERE serial_new = p_serial_new AND operation = 'formatage'
                    AND outcome IN ('écrite et vérifiée', 'interrompue')
                    AND login = session_user) THEN
    RAISE EXCEPTION 'carte % : pas formatée par ce poste', p_serial_new USING ERRCODE = '42501';
  END IF;
  IF EXISTS (SELECT FROM ostrel.operations
              WHERE serial_old = p_serial_old AND operation = 'remplacement'
                AND outcome = 'écrite et vérifiée') THEN
    RAISE EXCEPTION 'carte % déjà remplacée', p_serial_old USING ERRCODE = '23505';
  END IF;
  INSERT INTO ostrel.operations (uuid, station, program, reader, operation, serial_old,
                                 serial_new, supplier, kind, credits, outcome, card_before)
  VALUES (p_key, p_station, p_program, p_reader, 'remplacement', p_serial_old, p_serial_new,
          p_supplier, p_kind, p_credits, 'interrompue', p_before)
  ON CONFLICT (uuid) DO NOTHING
  RETURNING id INTO new_id;
  IF new_id IS NULL THEN
    SELECT id INTO new_id FROM ostrel.operations
     WHERE uuid = p_key AND login = session_user AND operation = 'remplacement';
    IF NOT FOUND THEN
      RAISE EXCEPTION 'clé % déjà employée', p_key USING ERRCODE = '42501';
    END IF;
  END IF;
  RETURN new_id;
END
$$;

-- daily_counts, by station as well.
CREATE FUNCTION ostrel.daily_counts_by_station(p_zone text, p_since date, p_until date)
RETURNS TABLE (day text, station text, operation text, outcome text, credits integer,
               n bigint, credit_sum bigint)
LANGUAGE plpgsql STABLE SECURITY DEFINER SET search_path = pg_catalog, ostrel AS $$
DECLARE
  low timestamptz := coalesce(p_since::timestamp AT TIME ZONE p_zone, '-infinity');
  high timestamptz := coalesce((p_until + 1)::timestamp AT TIME ZONE p_zone, 'infinity');
BEGIN
  RETURN QUERY EXECUTE
    'SELECT to_char(d, ''YYYY-MM-DD''), r.station, r.operation, r.outcome, r.c, count(*), '
    'sum(coalesce(r.credits, 0))::bigint FROM (SELECT (o.time AT TIME ZONE $1)::date AS d, '
    'o.station, o.operation, o.outcome, '
    'CASE WHEN o.operation = ''jeton'' THEN o.credits END AS c, '
    'o.credits FROM ostrel.operations o WHERE o.time >= $2 AND o.time < $3) r '
    'GROUP BY d, r.station, r.operation, r.outcome, r.c ORDER BY d, r.station'
    USING p_zone, low, high;
END
$$;

REVOKE EXECUTE ON ALL FUNCTIONS IN SCHEMA ostrel FROM PUBLIC;
GRANT EXECUTE ON FUNCTION
  ostrel.record_operation(uuid, text, text, text, text, bigint, integer, integer, text, text,
                          bytea),
  ostrel.add_replacement(uuid, text, text, text, bigint, bigint, integer, integer, integer,
                         bytea),
  ostrel.daily_counts_by_station(text, date, date)
  TO ostrel_station;

UPDATE ostrel.schema_version SET version = 4;

RESET ROLE;
