create table t (id, name, qty);
insert into t values (1, 'anna', 5);
insert into t values (2, 'bo''b', 7);
select id, upper(name) as n from t where qty > 4 order by #id desc